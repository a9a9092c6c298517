#include <windows.h>
#include <commctrl.h>

#include "app/gui_application.h"
#include "base/folders.h"
#include "host/system_helpers.h"

namespace kvx {

void RunStartupSteps() {
  RegisterHighDpi(ProgramPath());
}

void InitGUIApplication() {
  INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
}

}  // namespace kvx
