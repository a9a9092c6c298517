#include "ui/native_windows.h"
#include "ui/peers_win32.h"

namespace kvx::ui {

intptr_t NativeWindowHandle(const Form& form) {
  const auto* window = dynamic_cast<const FormWindow*>(form.GetPeer());
  return window ? reinterpret_cast<intptr_t>(window->Handle()) : 0;
}

}  // namespace kvx::ui
