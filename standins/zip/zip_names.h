// What a member's stored name means: the bytes are read the way the archive's writer
// meant them, as UTF-8 whatever they were written in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvxzip {

// Info-ZIP's Unicode Path extra field: a UTF-8 name beside a name in a code page.
inline constexpr uint16_t kUnicodePathExtraTag = 0x7075;

struct StoredName {
  std::string_view bytes;  // the name field of the central header
  uint16_t flags = 0;
  uint8_t hostSystem = 0;  // high byte of "version made by"
  std::string_view extra;  // the central header's extra fields
};

// The UTF-8 flag first; then a Unicode Path field written for these very bytes (its
// CRC-32 matches them); then the bytes themselves when a Unix system wrote valid
// UTF-8; otherwise the OEM code page, as MS-DOS and the Windows shell write names.
std::string DecodeMemberName(const StoredName& name);

}  // namespace kvxzip
