#include <windows.h>

#include "host/windows_version.h"

namespace kvx {

WindowsVersion RunningWindowsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return {};
  return {info.dwPlatformId == VER_PLATFORM_WIN32_NT, info.dwMajorVersion, info.dwMinorVersion,
          info.dwBuildNumber & 0xFFFF};
}

}  // namespace kvx
