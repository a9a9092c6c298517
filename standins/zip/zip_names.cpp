#include "standins/zip/zip_names.h"

#include <zlib.h>

#include <cstring>
#include <optional>

#include "standins/zip/file_system.h"
#include "standins/zip/zip_format.h"

namespace kvxzip {
namespace {

constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostDarwin = 19;
constexpr uint8_t kUnicodePathVersion = 1;

uint16_t Load16(const char* at) {
  uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

uint32_t Load32(const char* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The UTF-8 name of the first Unicode Path field, when it is sound and was written for
// nameBytes: a field left behind by a tool that renamed the member names another one.
std::optional<std::string> UnicodePath(std::string_view extra, std::string_view nameBytes) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint16_t tag = Load16(extra.data() + at);
    const size_t dataSize = Load16(extra.data() + at + 2);
    if (at + 4 + dataSize > extra.size()) return std::nullopt;
    if (tag == kUnicodePathExtraTag) {
      const std::string_view field = extra.substr(at + 4, dataSize);
      if (field.size() < 5 || static_cast<uint8_t>(field[0]) != kUnicodePathVersion) return std::nullopt;
      const uint32_t crc = static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(nameBytes.data()), static_cast<uInt>(nameBytes.size())));
      const std::string_view utf8 = field.substr(5);
      if (Load32(field.data() + 1) != crc || utf8.empty() || !IsValidUTF8(utf8)) return std::nullopt;
      return std::string(utf8);
    }
    at += 4 + dataSize;
  }
  return std::nullopt;
}

}  // namespace

bool IsValidUTF8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                          : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

std::string DecodeMemberName(const StoredName& name) {
  if (name.flags & kFlagUTF8Name) return std::string(name.bytes);
  if (std::optional<std::string> unicode = UnicodePath(name.extra, name.bytes)) return *std::move(unicode);
  const bool unix = name.hostSystem == kHostUnix || name.hostSystem == kHostDarwin;
  if (unix && IsValidUTF8(name.bytes)) return std::string(name.bytes);
  return OEMNameToUTF8(name.bytes);
}

}  // namespace kvxzip
