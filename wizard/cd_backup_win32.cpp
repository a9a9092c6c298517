#include "wizard/cd_backup.h"

namespace kvx {

std::string StagingFolder() { return "C:\\"; }

}  // namespace kvx
