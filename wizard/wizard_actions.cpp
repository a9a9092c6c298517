#include "wizard/wizard_actions.h"

#include "host/host_bridge.h"
#include "host/system_helpers.h"
#include "wizard/enregistrer.h"

namespace kvx {
namespace {

void ShowWizardOnPage(int page) {
  TEnregistrer form;
  form.PageControl1.SetActivePage(page);
  form.ShowModal();
}

}  // namespace

void OpenBackupWizard() { ShowWizardOnPage(0); }

void OpenRestoreWizard() {
  if (CountProcesses("VOLMERA.EXE") > 0) {
    HostCommand("Info,Impossible de restaurer la base de données si Volmera est ouvert");
    return;
  }
  ShowWizardOnPage(1);
}

}  // namespace kvx
