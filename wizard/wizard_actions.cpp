#include "wizard/wizard_actions.h"

#include "host/host_bridge.h"
#include "host/kvx_application.h"
#include "wizard/enregistrer.h"

namespace kvx {
namespace {

void ShowWizardOnPage(HostBridge& host, BurnEngine& burning, int page) {
  TEnregistrer form(host, burning);
  form.PageControl1.SetActivePage(page);
  form.ShowModal();
}

}  // namespace

void OpenBackupWizard(HostBridge& host, BurnEngine& burning) { ShowWizardOnPage(host, burning, 0); }

void OpenRestoreWizard(HostBridge& host, BurnEngine& burning) {
  if (VolmeraRuns()) {
    host.Info("Impossible de restaurer la base de données si Volmera est ouvert");
    return;
  }
  ShowWizardOnPage(host, burning, 1);
}

}  // namespace kvx
