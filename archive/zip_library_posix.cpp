// The POSIX side of the zip library loading: the shared objects installed beside the
// program under the libraries' own names, through the dynamic loader; the boxes are
// lines on the standard error.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "archive/zip_library.h"
#include "base/folders.h"

namespace kvx {
namespace {

// Only the copy beside the program is ever taken.
void* LoadModule(const char* fileName) { return dlopen((ProgramFolder() + fileName).c_str(), RTLD_NOW | RTLD_LOCAL); }

void* FindEntry(void* module, const char* entryName) { return dlsym(module, entryName); }

void ReleaseModule(void* module) { dlclose(module); }

void WarningBox(const std::string& text) { std::fprintf(stderr, "Warning: %s\n", text.c_str()); }

void InformationBox(const std::string& text) { std::fprintf(stderr, "Information: %s\n", text.c_str()); }

void EndProgram(int code) { std::exit(code); }

}  // namespace

const ZipLibrarySystem& PlatformZipLibrarySystem() {
  static const ZipLibrarySystem system{LoadModule, FindEntry, ReleaseModule, WarningBox, InformationBox, EndProgram};
  return system;
}

}  // namespace kvx
