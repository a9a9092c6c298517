// The Win32 side of the zip library loading: LoadLibrary, GetProcAddress, message boxes.
#include <windows.h>

#include <cstdint>

#include "archive/zip_library.h"
#include "base/folders.h"

namespace kvx {
namespace {

// The libraries are installed beside the program; only that copy is ever taken.
void* LoadModule(const char* fileName) {
  HMODULE module = LoadLibraryA((ProgramFolder() + fileName).c_str());
  // Handles of 32 or less are failure codes, as the 16-bit loader returned them.
  if (reinterpret_cast<uintptr_t>(module) <= 32) return nullptr;
  return module;
}

void* FindEntry(void* module, const char* entryName) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), entryName));
}

void ReleaseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

void WarningBox(const std::string& text) { MessageBoxA(nullptr, text.c_str(), "Warning", MB_OK | MB_ICONWARNING); }

void InformationBox(const std::string& text) { MessageBoxA(nullptr, text.c_str(), "Information", MB_OK | MB_ICONINFORMATION); }

void EndProgram(int code) { ExitProcess(static_cast<UINT>(code)); }

}  // namespace

const ZipLibrarySystem& PlatformZipLibrarySystem() {
  static const ZipLibrarySystem system{LoadModule, FindEntry, ReleaseModule, WarningBox, InformationBox, EndProgram};
  return system;
}

}  // namespace kvx
