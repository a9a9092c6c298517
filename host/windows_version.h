// The running Windows version by its numbers, and the two things the toolbox decides
// from it: whether the shell's CD writing service exists, and whether "runas" elevates.
#pragma once

#include <cstdint>

namespace kvx {

struct WindowsVersion {
  bool nt = false;  // the NT platform
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
};

// Not the NT platform where no Windows runs.
WindowsVersion RunningWindowsVersion();

// NT, a major version above 4 and a build above 2195 (Windows 2000's).
bool IsWindowsXPOrLater(const WindowsVersion& version);
inline bool IsWindowsXPOrLater() { return IsWindowsXPOrLater(RunningWindowsVersion()); }

// Windows 2000 and XP (NT 5.0 and 5.1): a program asked to run elevated is started directly.
bool IsWindows2000OrXP(const WindowsVersion& version);

}  // namespace kvx
