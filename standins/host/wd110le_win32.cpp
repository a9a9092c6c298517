// The Win32 side of the host window runtime: the environment and the window session.
#include <windows.h>

#include "standins/host/host_session.h"

namespace kvxhost {

// Read through the process environment (not the C runtime's copy), so that tests
// setting it with SetEnvironmentVariable are seen by this DLL.
std::string HostEnvironment(const char* name) {
  char buffer[1024] = {};
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return length < sizeof buffer ? std::string(buffer, length) : std::string();
}

void TellFailure(const std::string& text) { OutputDebugStringA(("WD110LE: " + text + "\n").c_str()); }

}  // namespace kvxhost
