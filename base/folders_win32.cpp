#include <windows.h>

#include "base/cp1252.h"
#include "base/folders.h"
#include "base/long_path.h"

namespace kvx {

std::string CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool SetCurrentFolder(std::string_view folder) { return SetCurrentDirectoryA(std::string(folder).c_str()) != 0; }

bool FileExists(std::string_view path) {
  const std::u16string wide = CP1252ToUTF16(path);
  return GetFileAttributesW(LongPathForm(std::wstring(wide.begin(), wide.end())).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateNewFile(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(LongPathForm(path.wstring()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  return file != INVALID_HANDLE_VALUE && CloseHandle(file) != 0;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::string ProgramPath() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, length);
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string WindowsFolder() {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  std::string folder(buffer, length <= MAX_PATH ? length : 0);
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

void KeepCurrentFolderOffLibrarySearch() {
  // Systems before Windows 8 (without its loader update) lack SetDefaultDllDirectories;
  // there an empty DLL directory still takes the current folder out of the search.
  using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesEntry>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDirectories != nullptr &&
      setDefaultDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32))
    return;
  SetDllDirectoryW(L"");
}

}  // namespace kvx
