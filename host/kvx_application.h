// What the toolbox knows of the KVX application it sits beside: its main program, which
// must not run while the data files change, and the platform's data-file modification
// tool that brings the data files to the current structure.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

// True while VOLMERA.EXE, the KVX application, runs.
bool VolmeraRuns();

// Who runs WDMODFIC.EXE: the menu's structure update, or a restore, which adds -error.
enum class DataFileUpdate { kFromMenu, kAfterRestore };

// The arguments of WDMODFIC.EXE over the data folder (written as the caller gives it):
// the analysis GELDOR.WDD, no backup of its own.
std::string DataFileUpdateArguments(std::string_view dataFolder, DataFileUpdate run);

}  // namespace kvx
