// Off Windows the zip libraries are never there: tests put their own table in place.
#include <cstdlib>

#include "archive/zip_library.h"

namespace kvx {
namespace {

void* NoModule(const char*) { return nullptr; }
void* NoEntry(void*, const char*) { return nullptr; }
void NoRelease(void*) {}
void NoBox(const std::string&) {}
void EndProgram(int code) { std::exit(code); }

}  // namespace

const ZipLibrarySystem& PlatformZipLibrarySystem() {
  static const ZipLibrarySystem system{NoModule, NoEntry, NoRelease, NoBox, NoBox, EndProgram};
  return system;
}

}  // namespace kvx
