// kvxburn COMMAND ARGS...: see commands.cpp for the list.
#include <iostream>

#include "base/cp1252.h"
#include "base/exception_text.h"
#include "base/folders.h"
#include "burner/burn_engine.h"
#include "kvxburn/commands.h"
#include "scsi/transport.h"

int main(int argc, char** argv) {
  kvx::KeepCurrentFolderOffLibrarySearch();
  const kvx::ConsoleOutput console{std::cout, std::cerr};
  try {
    kvx::scsi::SCSITransportHub transport;
    kvx::BurnEngine engine(transport);
    kvx::CommandArgs args;
    for (int i = 1; i < argc; ++i) {
#ifdef _WIN32
      args.emplace_back(argv[i]);  // the ANSI code page: Windows-1252
#else
      args.push_back(kvx::UTF8ToCP1252(argv[i]));
#endif
    }
    return kvx::RunCommandLine(args, console, engine);
  } catch (...) {
    console.Line(std::cerr, "kvxburn: " + kvx::CurrentExceptionText());
    return kvx::kExitFailed;
  }
}
