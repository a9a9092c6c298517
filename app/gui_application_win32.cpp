#include <windows.h>
#include <commctrl.h>

#include "app/gui_application.h"

namespace kvx {

void RunStartupSteps() {}

void InitGuiApplication() {
  INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
}

}  // namespace kvx
