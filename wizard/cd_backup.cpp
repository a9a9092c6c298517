#include "wizard/cd_backup.h"

namespace kvx {

bool IsWindowsXPOrLater(const WindowsVersion& version) {
  return version.nt && version.major > 4 && version.build > 2195;
}

}  // namespace kvx
