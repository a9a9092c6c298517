// KVXDECOY.DLL: a library that is not ours, put under the names WNASPI32.DLL, KVXZIP.DLL
// and KVXUNZIP.DLL in the folder a program is started from (a downloads folder). It
// carries their entry points, appends its own path to the file named by
// KVXDECOY_MARKER when it is loaded, and does nothing useful.
#include <windows.h>

#include <cstdint>

namespace {

void NoteLoaded(HMODULE module) {
  char marker[MAX_PATH] = {};
  const DWORD markerLength = GetEnvironmentVariableA("KVXDECOY_MARKER", marker, sizeof marker);
  if (markerLength == 0 || markerLength >= sizeof marker) return;
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, sizeof path);
  HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, path, length, &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" {

// ASPI: no host adapter, every request refused (SS_ERR).
__declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() { return 0x0400; }
__declspec(dllexport) DWORD __cdecl SendASPI32Command(void*) { return 0x04; }

// Zip libraries: every operation fails.
__declspec(dllexport) int32_t __stdcall dzip(void*) { return 1; }
__declspec(dllexport) int32_t __stdcall dunzip(void*) { return 1; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) NoteLoaded(module);
  return TRUE;
}

}  // extern "C"
