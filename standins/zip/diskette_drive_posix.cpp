// No removable drives here: archives are always written as one file.
#include "standins/zip/diskette_drive.h"

namespace kvxzip {

std::unique_ptr<DisketteDrive> RemovableDriveOf(const std::string&) { return nullptr; }

}  // namespace kvxzip
