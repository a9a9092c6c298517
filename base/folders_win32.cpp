#include <windows.h>

#include "base/folders.h"

namespace kvx {

std::string CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool SetCurrentFolder(std::string_view folder) { return SetCurrentDirectoryA(std::string(folder).c_str()) != 0; }

bool FileExists(std::string_view path) {
  return GetFileAttributesA(std::string(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramPath() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, length);
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

}  // namespace kvx
