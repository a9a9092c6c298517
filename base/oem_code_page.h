// Text in the system's OEM code page, as MS-DOS and the Windows shell write zip member
// names, read as UTF-8. Natively, where there is no system to ask, code page 437.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

std::string OEMToUTF8(std::string_view bytes);

}  // namespace kvx
