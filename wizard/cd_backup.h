// Which way a backup to CD may take: the shell's CD writing service exists from
// Windows XP on.
#pragma once

#include <string>

#include "host/windows_version.h"

namespace kvx {

// Where a backup to CD is zipped before it is burned, with its trailing separator: the
// root of drive C: on Windows, the temporary folder elsewhere.
std::string StagingFolder();

}  // namespace kvx
