#include <windows.h>

#include "base/cp1252.h"
#include "base/file_name_case.h"

namespace kvx {

// Without LCMAP_LINGUISTIC_CASING the mapping is the file system's, the one
// CompareStringOrdinal ignores case with.
std::string FileNameUpper(std::string_view name) {
  std::u16string text = UTF8ToUTF16(name);
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::u16string upper(text.size(), u'\0');
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const wchar_t*>(text.data()), size,
                    reinterpret_cast<wchar_t*>(upper.data()), size, nullptr, nullptr, 0) != size)
    return std::string(name);
  return UTF16ToUTF8(upper);
}

}  // namespace kvx
