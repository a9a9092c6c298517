// Shows the wizard form with real windows on one page for a while, so that it can be
// photographed (scripts/screenshots) or looked at: wizard_form PAGE MILLISECONDS [search FOLDER].
// "search" starts the Options tab's search for backups in FOLDER.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "burner/burn_engine.h"
#include "host/host_bridge.h"
#include "scsi/transport.h"
#include "ui/native_windows.h"
#include "wizard/enregistrer.h"

namespace {

// The quit message ends the modal loop, which closes the form.
void CALLBACK Quit(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

}  // namespace

int main(int argc, char** argv) {
  const int page = argc > 1 ? std::atoi(argv[1]) : 0;
  const UINT shownFor = argc > 2 ? static_cast<UINT>(std::atoi(argv[2])) : 5000;
  kvx::ui::UseNativeWindows();
  kvx::HostBridge host;
  kvx::scsi::SCSITransportHub transport;
  kvx::BurnEngine burning(transport);
  kvx::TEnregistrer form(host, burning);
  form.PageControl1.SetActivePage(page);
  if (argc > 4 && std::string(argv[3]) == "search") {
    const std::string folder = argv[4];
    form.OnShow = [&form, folder] {
      form.FormShow();
      form.Edit2.SetText(folder);
      form.BitBtn13Click();
    };
  }
  SetTimer(nullptr, 0, shownFor, Quit);
  form.ShowModal();
  return 0;
}
