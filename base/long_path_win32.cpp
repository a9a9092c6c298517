#include <windows.h>

#include "base/long_path.h"

namespace kvx {
namespace {

bool StartsWith(std::wstring_view path, std::wstring_view prefix) { return path.substr(0, prefix.size()) == prefix; }

// GetFullPathNameW also turns "/" into "\", which the "\\?\" form no longer does.
std::wstring FullPath(const std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (length >= buffer.size()) {
    buffer.resize(length);
    length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  }
  if (length == 0 || length >= buffer.size()) return path;
  buffer.resize(length);
  return buffer;
}

}  // namespace

std::wstring LongPathForm(std::wstring_view given) {
  if (given.empty() || StartsWith(given, L"\\\\?\\") || StartsWith(given, L"\\\\.\\")) return std::wstring(given);
  const std::wstring path = FullPath(std::wstring(given));
  if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
  if (StartsWith(path, L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  return path;
}

std::wstring WithoutLongPrefix(std::wstring_view path) {
  if (StartsWith(path, L"\\\\?\\UNC\\")) return L"\\\\" + std::wstring(path.substr(8));
  if (StartsWith(path, L"\\\\?\\")) return std::wstring(path.substr(4));
  return std::wstring(path);
}

}  // namespace kvx
