// Runs the archive procedures through the real zip libraries beside it, for the checks
// under wine (host commands go to the host runtime stand-in, in script mode):
//   archive_driver zip ARCHIVE ITEM MULTIVOLUMEWORD RECURSE(0|1)
//   archive_driver unzip ARCHIVE DESTINATION SPEC
// Exits with 0 when the procedure reports success, 1 when it does not, 2 on bad usage.
#include <cstdlib>
#include <string>

#include "archive/archive_procedures.h"
#include "host/host_bridge.h"

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  bool succeeded = false;
  kvx::HostBridge host;
  if (command == "zip" && argc == 6)
    succeeded = kvx::ZipArchive(host, argv[2], argv[3], static_cast<uint16_t>(std::strtoul(argv[4], nullptr, 0)),
                                std::string(argv[5]) == "1");
  else if (command == "unzip" && argc == 5)
    succeeded = kvx::UnzipArchive(host, argv[2], argv[3], argv[4]);
  else
    return 2;
  host.End();
  return succeeded ? 0 : 1;
}
