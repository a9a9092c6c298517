#include <windows.h>

#include <system_error>
#include <vector>

#include "base/cp1252.h"
#include "base/long_path.h"
#include "base/tree_removal.h"
#include "base/win32_scope.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

// Keeps the first failure only: it is the one the person is told about.
bool Failed(const std::wstring& path, DWORD code, std::string& error) {
  if (error.empty())
    error = UTF16ToCP1252(std::u16string(path.begin(), path.end())) + " : " +
            std::system_category().message(static_cast<int>(code));
  return false;
}

bool Missing(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

std::vector<std::wstring> NamesIn(const std::wstring& folder, DWORD& code) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  const win32::ScopedFind search(FindFirstFileW(LongPathForm(folder + L"\\*").c_str(), &data));
  code = search ? 0 : GetLastError();
  if (!search) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search.get(), &data));
  code = GetLastError() == ERROR_NO_MORE_FILES ? 0 : GetLastError();
  return names;
}

bool RemoveEntry(const std::wstring& path, std::string& error) {
  const std::wstring longPath = LongPathForm(path);
  const DWORD attributes = GetFileAttributesW(longPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Missing(GetLastError()) || Failed(path, GetLastError(), error);
  if ((attributes & FILE_ATTRIBUTE_READONLY) &&
      !SetFileAttributesW(longPath.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}))
    return Failed(path, GetLastError(), error);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))  // a file, or a symbolic link to one: the entry itself goes
    return DeleteFileW(longPath.c_str()) || Failed(path, GetLastError(), error);
  bool all = true;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {  // a junction's or a folder link's target is not ours
    DWORD code = 0;
    for (const std::wstring& name : NamesIn(path, code)) all = RemoveEntry(path + L"\\" + name, error) && all;
    if (code != 0) return Failed(path, code, error);
  }
  return (RemoveDirectoryW(longPath.c_str()) || Failed(path, GetLastError(), error)) && all;
}

}  // namespace

bool RemoveTreeNoFollow(const fs::path& path, std::string& error) {
  error.clear();
  std::wstring text = path.wstring();
  for (wchar_t& unit : text)
    if (unit == L'/') unit = L'\\';
  while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return RemoveEntry(text, error);
}

}  // namespace kvx
