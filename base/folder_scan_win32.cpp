#include <windows.h>

#include "base/cp1252.h"
#include "base/folder_scan.h"
#include "base/long_path.h"
#include "base/win32_scope.h"

namespace kvx {
namespace {

std::wstring WidePattern(std::string_view folder) {
  std::string pattern(folder);
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  const std::u16string units = CP1252ToUTF16(pattern);
  return std::wstring(units.begin(), units.end());
}

}  // namespace

bool ScanFolder(std::string_view folder, const std::function<bool(const FolderEntry&)>& visit) {
  WIN32_FIND_DATAW data;
  const win32::ScopedFind search(FindFirstFileExW(LongPathForm(WidePattern(folder)).c_str(), FindExInfoBasic, &data,
                                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!search) return GetLastError() == ERROR_FILE_NOT_FOUND;
  FolderEntry out;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    out.name = UTF16ToCP1252(std::u16string(name.begin(), name.end()));
    out.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!visit(out)) break;
  } while (FindNextFileW(search.get(), &data));
  return true;
}

}  // namespace kvx
