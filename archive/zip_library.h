// Loading of the zip libraries KVXZIP.DLL ("dzip") and KVXUNZIP.DLL ("dunzip") from the
// program's folder: one entry point per library for the whole process, one reference
// per live component.
// A library or entry point that cannot be found ends the program after a warning box.
#pragma once

#include <string>

namespace kvx {

// How the binding reaches the system: the Win32 loader and boxes in the product; tests
// put a table of their own in place (SetZipLibrarySystem) so that failures can be
// watched without ending the test program.
struct ZipLibrarySystem {
  void* (*load)(const char* fileName);                    // the copy beside the program; null when none loads
  void* (*find)(void* module, const char* entryName);     // null when it is not exported
  void (*release)(void* module);
  void (*warn)(const std::string& text);                  // warning box with one OK button
  void (*inform)(const std::string& text);                // information box with one OK button
  void (*exitProgram)(int code);                          // ends the process
};

// The platform's own table.
const ZipLibrarySystem& PlatformZipLibrarySystem();
// Puts a table in place (null: the platform's again); returns the previous one.
const ZipLibrarySystem* SetZipLibrarySystem(const ZipLibrarySystem* system);
const ZipLibrarySystem& ActiveZipLibrarySystem();

// One library and its entry point, shared by every component of one kind.
class ZipLibrary {
 public:
  ZipLibrary(const char* fileName, const char* entryName) : fileName_(fileName), entryName_(entryName) {}

  // Takes a reference, loading the library on the first one. On failure: warning box,
  // exit code 1, and (when the exit returns, in tests) a null entry point.
  void* Acquire();
  void Release();
  void* Entry() const { return entry_; }

 private:
  const char* fileName_;
  const char* entryName_;
  void* module_ = nullptr;
  void* entry_ = nullptr;
  int references_ = 0;
};

ZipLibrary& DzipLibrary();
ZipLibrary& DunzipLibrary();

}  // namespace kvx
