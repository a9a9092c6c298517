#include <windows.h>

#include "wizard/cd_backup.h"

namespace kvx {

WindowsVersion RunningWindowsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return {};
  return {info.dwPlatformId == VER_PLATFORM_WIN32_NT, info.dwMajorVersion, info.dwBuildNumber & 0xFFFF};
}

std::string StagingFolder() { return "C:\\"; }

}  // namespace kvx
