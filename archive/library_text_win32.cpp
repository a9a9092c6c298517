#include <windows.h>

#include <vector>

#include "archive/library_text.h"
#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/long_path.h"

namespace kvx {
namespace {

// The Windows-1252 text of a UTF-16 path, when it holds every character of it.
bool ExactCP1252(const std::u16string& path, std::string& text) {
  text = UTF16ToCP1252(path);
  return CP1252ToUTF16(text) == path;
}

// Asked in the long form, so that paths past MAX_PATH have one too; given in the usual form.
std::u16string ShortForm(const std::filesystem::path& path) {
  const std::wstring wide = LongPathForm(path.wstring());
  std::vector<wchar_t> buffer(32768);
  const DWORD length = GetShortPathNameW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  const std::wstring shortForm = WithoutLongPrefix(std::wstring_view(buffer.data(), length));
  return std::filesystem::path(shortForm).u16string();
}

bool HasWildcard(const std::u16string& name) { return name.find_first_of(u"*?") != std::u16string::npos; }

}  // namespace

bool LibraryTextOf(const std::filesystem::path& path, std::string& text, std::string& error) {
  if (ExactCP1252(path.u16string(), text)) return true;
  // A pattern keeps its last part: only the folders above it are shortened.
  const std::u16string last = path.filename().u16string();
  const bool pattern = HasWildcard(last);
  const std::u16string shortForm = ShortForm(pattern ? path.parent_path() : path);
  std::string lastText;
  if (!shortForm.empty() && (!pattern || ExactCP1252(last, lastText)) &&
      ExactCP1252(shortForm + (pattern ? u"\\" + last : u""), text))
    return true;
  error = "Nom que la bibliothèque de compression ne peut pas recevoir (pas de nom court sur ce volume) : " +
          UTF16ToCP1252(path.u16string());
  return false;
}

// The long form: a short form handed to the library names its files by their long names.
// In the usual form, as the current folder is, which the members' names are taken below.
std::filesystem::path PathOfLibraryText(std::string_view text) {
  const std::filesystem::path path = NativePath(text);
  std::vector<wchar_t> buffer(32768);
  const DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size())
    return WithoutLongPrefix(path.wstring());  // a pattern, or nothing of that name
  return std::filesystem::path(WithoutLongPrefix(std::wstring_view(buffer.data(), length)));
}

}  // namespace kvx
