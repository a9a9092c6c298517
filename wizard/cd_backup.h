// Which way a backup to CD may take: the shell's CD writing service exists from
// Windows XP on.
#pragma once

#include <cstdint>
#include <string>

namespace kvx {

struct WindowsVersion {
  bool nt = false;  // the NT platform
  uint32_t major = 0;
  uint32_t build = 0;
};

// NT, a major version above 4 and a build above 2195 (Windows 2000's).
bool IsWindowsXPOrLater(const WindowsVersion& version);

// The running system's version and the staging folder below have a Win32 side and a
// POSIX one, defined with the shell's service (cd_burn_service_*.cpp).
WindowsVersion RunningWindowsVersion();

// Where a backup to CD is zipped before it is burned, with its trailing separator: the
// root of drive C: on Windows, the temporary folder elsewhere.
std::string StagingFolder();
inline bool IsWindowsXPOrLater() { return IsWindowsXPOrLater(RunningWindowsVersion()); }

}  // namespace kvx
