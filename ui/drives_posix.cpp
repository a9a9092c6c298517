// Outside Windows there are no drive letters.
#include "ui/drives.h"

namespace kvx::ui {

std::vector<DriveInfo> SystemDrives() { return {}; }

}  // namespace kvx::ui
