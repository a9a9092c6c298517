#include "host/kvx_application.h"

#include "host/system_helpers.h"

namespace kvx {

bool VolmeraRuns() { return CountProcesses("VOLMERA.EXE") > 0; }

std::string DataFileUpdateArguments(std::string_view dataFolder, DataFileUpdate run) {
  return std::string(run == DataFileUpdate::kAfterRestore ? "-error " : "") + "-nobackup /WDD=\"GELDOR.WDD\" /DIR=\"" +
         std::string(dataFolder) + "\"";
}

}  // namespace kvx
