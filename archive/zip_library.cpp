#include "archive/zip_library.h"

namespace kvx {
namespace {

const ZipLibrarySystem* activeSystem = nullptr;  // null: the platform's

void Fail(const ZipLibrarySystem& system, const std::string& what) {
  system.warn("Could not load " + what + "!");
  system.exitProgram(1);
}

}  // namespace

const ZipLibrarySystem* SetZipLibrarySystem(const ZipLibrarySystem* system) {
  const ZipLibrarySystem* previous = activeSystem;
  activeSystem = system;
  return previous;
}

const ZipLibrarySystem& ActiveZipLibrarySystem() {
  return activeSystem ? *activeSystem : PlatformZipLibrarySystem();
}

void* ZipLibrary::Acquire() {
  const ZipLibrarySystem& system = ActiveZipLibrarySystem();
  void* module = system.load(fileName_);
  if (!module) {
    Fail(system, fileName_);
    return nullptr;
  }
  void* entry = system.find(module, entryName_);
  if (!entry) {
    system.release(module);
    Fail(system, std::string(entryName_) + " function");
    return nullptr;
  }
  module_ = module;
  entry_ = entry;
  ++references_;
  return entry_;
}

void ZipLibrary::Release() {
  if (references_ == 0) return;
  ActiveZipLibrarySystem().release(module_);
  if (--references_ == 0) entry_ = module_ = nullptr;
}

ZipLibrary& DzipLibrary() {
  static ZipLibrary library("KVXZIP.DLL", "dzip");
  return library;
}

ZipLibrary& DunzipLibrary() {
  static ZipLibrary library("KVXUNZIP.DLL", "dunzip");
  return library;
}

}  // namespace kvx
