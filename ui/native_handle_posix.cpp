// Without the Win32 binding forms have no native windows.
#include "ui/native_windows.h"

namespace kvx::ui {

intptr_t NativeWindowHandle(const Form&) { return 0; }

}  // namespace kvx::ui
