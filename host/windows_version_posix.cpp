// The version text where no Windows runs: the system's name, release and machine.
#include <sys/utsname.h>

#include "host/system_helpers.h"

namespace kvx {

std::string WindowsVersionText() {
  struct utsname name {};
  if (uname(&name) != 0) return {};
  return std::string(name.sysname) + " " + name.release + " (" + name.machine + ")";
}

}  // namespace kvx
