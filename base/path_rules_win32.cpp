#include <windows.h>

#include <string>

#include "base/path_rules_system.h"

namespace kvx::path_rules {
namespace {

// The "\\?\" form NativePath gives long paths, read back as the path it spells.
std::wstring WithoutLongPrefix(std::wstring text) {
  if (text.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + text.substr(8);
  if (text.starts_with(L"\\\\?\\")) return text.substr(4);
  return text;
}

// Drive-letter or UNC paths only, without wildcards, and without ':' but the drive's: a
// stream name or a device path would lead elsewhere than the folders it seems to name.
bool PlainText(const std::wstring& text) {
  if (text.find_first_of(L"<>\"|?*") != std::wstring::npos) return false;
  const bool drive = text.size() >= 3 && iswalpha(text[0]) && text[1] == L':' && (text[2] == L'\\' || text[2] == L'/');
  const bool unc = text.size() > 2 && (text[0] == L'\\' || text[0] == L'/') && (text[1] == L'\\' || text[1] == L'/');
  return (drive || unc) && text.find(L':', drive ? 2 : 0) == std::wstring::npos;
}

// A call that fills a buffer with a path, asked again with the length it needs.
template <typename Call>
std::wstring CallForPath(Call call, const std::wstring& path) {
  std::wstring out(MAX_PATH, L'\0');
  DWORD length = call(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
  if (length >= out.size()) {
    out.resize(length);
    length = call(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
  }
  if (length == 0 || length >= out.size()) return {};
  out.resize(length);
  return out;
}

DWORD FullPathName(const wchar_t* path, wchar_t* out, DWORD size) { return GetFullPathNameW(path, size, out, nullptr); }

DWORD LongPathName(const wchar_t* path, wchar_t* out, DWORD size) { return GetLongPathNameW(path, out, size); }

}  // namespace

std::optional<std::filesystem::path> SystemForm(const std::filesystem::path& path, bool longNames) {
  const std::wstring text = WithoutLongPrefix(path.wstring());
  if (!PlainText(text)) return std::nullopt;
  const std::wstring full = CallForPath(FullPathName, text);
  if (full.empty() || !PlainText(full)) return std::nullopt;  // a device name (CON, NUL...) turns into \\.\ here
  if (!longNames) return std::filesystem::path(full);
  const std::wstring longForm = CallForPath(LongPathName, full);
  return std::filesystem::path(longForm.empty() ? full : longForm);
}

// The file system's own comparison of names: ordinal, without regard to case.
bool SameName(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::wstring left = a.wstring(), right = b.wstring();
  return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                              static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace kvx::path_rules
