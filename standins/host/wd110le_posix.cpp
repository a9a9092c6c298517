// The POSIX side of the host window runtime: the C runtime's environment, and no windows.
#include <cstdio>
#include <cstdlib>

#include "standins/host/host_session.h"

namespace kvxhost {

std::string HostEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void TellFailure(const std::string& text) { std::fprintf(stderr, "WD110LE: %s\n", text.c_str()); }

std::unique_ptr<HostSession> MakeWindowSession() { return MakeScriptSession("", ""); }

}  // namespace kvxhost
