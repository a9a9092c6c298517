// The POSIX side of the host window runtime: the C runtime's environment, and no windows.
#include <cstdlib>

#include "standins/host/host_session.h"

namespace kvxhost {

std::string HostEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::unique_ptr<HostSession> MakeWindowSession() { return MakeScriptSession("", ""); }

}  // namespace kvxhost
