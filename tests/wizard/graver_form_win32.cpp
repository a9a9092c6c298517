// Shows the burn wizard with real windows for a while, so that it can be photographed
// (scripts/screenshots) or looked at: graver_form MILLISECONDS [options | erase | burn ARCHIVE].
// "options" opens the options panel; "erase" opens it and starts a quick erase of the
// first unit's disc; "burn" burns ARCHIVE into the first unit at once.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "wizard/graver.h"
#include "ui/native_windows.h"

namespace {

// The quit message ends the modal loop, which closes the form.
void CALLBACK Quit(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

}  // namespace

int main(int argc, char** argv) {
  const UINT shownFor = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 5000;
  const std::string mode = argc > 2 ? argv[2] : "";
  kvx::ui::UseNativeWindows();
  kvx::scsi::SCSITransportHub transport;
  kvx::BurnEngine burning(transport);
  kvx::TGraver form(burning, argc > 3 ? argv[3] : kvx::kDefaultBurnArchive);
  form.OnShow = [&] {
    form.FormShow();
    if (mode == "options" || mode == "erase") form.Button3Click();
    if (mode == "erase") form.Button1Click();
    if (mode == "burn") form.BBurnClick();
  };
  SetTimer(nullptr, 0, shownFor, Quit);
  form.ShowModal();
  return 0;
}
