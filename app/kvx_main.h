// The toolbox's main sequence, kept in a library so that tests can run the whole
// program in process; main() only hands over its arguments.
#pragma once

#include <string>
#include <vector>

namespace kvx {

// Runs the toolbox with its arguments (without the program name); returns the exit code.
int KvxMain(const std::vector<std::string>& args);

}  // namespace kvx
