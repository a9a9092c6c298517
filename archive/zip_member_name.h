// How a zip member's stored name is read, as UTF-8, the way its writer meant it: the UTF-8
// flag first; then an Info-ZIP Unicode Path field written for these very bytes (its CRC-32
// matches them; a field left by a tool that renamed the member names another); then the
// bytes themselves when a Unix system wrote valid UTF-8; otherwise the caller's code page.
// The zip library and the restore's name check both read names so, and must agree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace kvx {

inline constexpr uint16_t kZipFlagUTF8Name = 0x0800;
inline constexpr uint16_t kUnicodePathTag = 0x7075;
inline constexpr uint8_t kUnicodePathVersion = 1;
inline constexpr uint8_t kZipHostUnix = 3, kZipHostDarwin = 19;

struct StoredMemberName {
  std::string_view bytes;  // the name field of the central header
  uint16_t flags = 0;
  uint8_t hostSystem = 0;  // high byte of "version made by"
  std::string_view extra;  // the central header's extra fields
};

// Each side brings its own CRC-32 and its code page.
using NameCRC = uint32_t (*)(std::string_view bytes);
using CodePageToUTF8 = std::string (*)(std::string_view bytes);

inline std::optional<std::string> UnicodePathName(std::string_view extra, std::string_view nameBytes, NameCRC crcOf) {
  const auto little = [&](size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(extra[at + i]);
    return value;
  };
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t size = little(at + 2, 2);
    if (at + 4 + size > extra.size()) return std::nullopt;
    if (little(at, 2) == kUnicodePathTag) {
      const std::string_view field = extra.substr(at + 4, size);
      if (field.size() < 6 || static_cast<uint8_t>(field[0]) != kUnicodePathVersion) return std::nullopt;
      const std::string_view utf8 = field.substr(5);
      if (little(at + 5, 4) != crcOf(nameBytes) || !IsValidUTF8(utf8)) return std::nullopt;
      return std::string(utf8);
    }
    at += 4 + size;
  }
  return std::nullopt;
}

inline std::string DecodeMemberName(const StoredMemberName& name, NameCRC crcOf, CodePageToUTF8 codePage) {
  if (name.flags & kZipFlagUTF8Name) return std::string(name.bytes);
  if (std::optional<std::string> unicode = UnicodePathName(name.extra, name.bytes, crcOf)) return *std::move(unicode);
  const bool unix = name.hostSystem == kZipHostUnix || name.hostSystem == kZipHostDarwin;
  if (unix && IsValidUTF8(name.bytes)) return std::string(name.bytes);
  return codePage(name.bytes);
}

}  // namespace kvx
