// kvxoutil.exe: hands its arguments (Windows-1252, as the system passes them) to the main sequence.
#include <string>
#include <vector>

#include "app/kvx_main.h"
#include "base/folders.h"
#include "burner/burn_engine.h"
#include "host/host_bridge.h"
#include "scsi/transport.h"
#include "ui/native_windows.h"

int main(int argc, char** argv) {
  kvx::KeepCurrentFolderOffLibrarySearch();
  kvx::ui::UseNativeWindows();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // The program's objects, handed to whatever needs them.
  kvx::HostBridge host;
  kvx::scsi::SCSITransportHub transport;
  kvx::BurnEngine burning(transport);
  return kvx::KvxMain(args, {host, burning});
}
