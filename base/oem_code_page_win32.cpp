#include <windows.h>

#include "base/cp1252.h"
#include "base/oem_code_page.h"

namespace kvx {

std::string OEMToUTF8(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  std::u16string text(static_cast<size_t>(size), u'\0');
  const int length = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()), size);
  text.resize(static_cast<size_t>(length > 0 ? length : 0));
  return UTF16ToUTF8(text);
}

}  // namespace kvx
