// The toolbox's main sequence, kept in a library so that tests can run the whole
// program in process; main() only hands over its arguments.
#pragma once

#include <string>
#include <vector>

#include "app/menu_actions.h"

namespace kvx {

// Runs the toolbox with its arguments (without the program name) over the program's
// objects; returns the exit code.
int KvxMain(const std::vector<std::string>& args, const ActionContext& program);

}  // namespace kvx
