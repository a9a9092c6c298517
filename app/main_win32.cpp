// kvxoutil.exe: hands its arguments (Windows-1252, as the system passes them) to the main sequence.
#include <string>
#include <vector>

#include "app/kvx_main.h"
#include "base/folders.h"
#include "ui/native_windows.h"

int main(int argc, char** argv) {
  kvx::KeepCurrentFolderOffLibrarySearch();
  kvx::ui::UseNativeWindows();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return kvx::KvxMain(args);
}
