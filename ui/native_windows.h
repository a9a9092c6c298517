// Gives forms real windows and native dialogs from now on (the product's choice;
// tests use headless mode instead). Call once on the GUI thread at start-up.
#pragma once

#include <cstdint>

namespace kvx::ui {

class Form;

void UseNativeWindows();

// The native handle of a form's window while it has one, else 0 (always 0 headless).
intptr_t NativeWindowHandle(const Form& form);

}  // namespace kvx::ui
