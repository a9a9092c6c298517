// The unattended "KVXRESTAURE folder-of-archives data-root" mode.
#pragma once

#include <string>
#include <vector>

#include "app/menu_actions.h"

namespace kvx {

// Runs with the program's arguments (args[0] is "KVXRESTAURE"), talking to the host. EndProgram when the
// restore ran, with exitCode 0 when every archive was restored and 1 otherwise;
// Continue when it handed back to the start-up (wrong argument count).
ActionOutcome RunRestoreMode(HostBridge& host, const std::vector<std::string>& args, int& exitCode);

}  // namespace kvx
