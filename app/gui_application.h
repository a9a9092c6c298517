// Process start-up outside the main sequence: the module start-up steps and the GUI
// application object (no main form; every window is a host window or a modal form).
#pragma once

namespace kvx {

// High-DPI registration, before the main sequence.
void RunStartupSteps();

void InitGUIApplication();

}  // namespace kvx
