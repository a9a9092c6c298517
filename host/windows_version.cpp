#include "host/windows_version.h"

namespace kvx {

bool IsWindowsXPOrLater(const WindowsVersion& version) {
  return version.nt && version.major > 4 && version.build > 2195;
}

bool IsWindows2000OrXP(const WindowsVersion& version) {
  return version.nt && version.major == 5 && version.minor <= 1;
}

}  // namespace kvx
