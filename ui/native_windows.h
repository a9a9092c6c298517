// Gives forms real windows and native dialogs from now on (the product's choice;
// tests use headless mode instead). Call once on the GUI thread at start-up.
#pragma once

namespace kvx::ui {

void UseNativeWindows();

}  // namespace kvx::ui
