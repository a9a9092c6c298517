#include "tests/archive/zip_test_system.h"

#include "archive/zip_library.h"
#include "standins/zip/zip_entry_points.h"

namespace kvxtest {
namespace {

int32_t KVX_ZIP_CALL TestDzip(kvx::ZipParams* params) { return TestSystem().dzip(params); }
int32_t KVX_ZIP_CALL TestDunzip(kvx::UnzipParams* params) { return TestSystem().dunzip(params); }

int moduleToken;

void* Load(const char* fileName) {
  if (TestSystem().missingLibrary == fileName) return nullptr;
  ++TestSystem().loads;
  return &moduleToken;
}

void* Find(void*, const char* entryName) {
  const std::string name = entryName;
  if (TestSystem().missingEntry == name) return nullptr;
  if (name == "dzip") return reinterpret_cast<void*>(&TestDzip);
  if (name == "dunzip") return reinterpret_cast<void*>(&TestDunzip);
  return nullptr;
}

void Release(void*) { ++TestSystem().releases; }
void Warn(const std::string& text) { TestSystem().warnings.push_back(text); }
void Inform(const std::string& text) { TestSystem().informs.push_back(text); }
void Exit(int code) { TestSystem().exits.push_back(code); }

const kvx::ZipLibrarySystem kTable{Load, Find, Release, Warn, Inform, Exit};

}  // namespace

ZipTestSystem& TestSystem() {
  static ZipTestSystem system;
  return system;
}

ZipTestSystem& InstallZipTestSystem() {
  TestSystem() = {};
  TestSystem().dzip = kvxzip::RunDzip;
  TestSystem().dunzip = kvxzip::RunDunzip;
  kvx::SetZipLibrarySystem(&kTable);
  return TestSystem();
}

}  // namespace kvxtest
