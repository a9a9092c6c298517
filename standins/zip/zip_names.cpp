#include "standins/zip/zip_names.h"

#include <zlib.h>

#include <cstring>
#include <optional>

#include "base/utf8.h"
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
      if (Load32(field.data() + 1) != crc || utf8.empty() || !kvx::IsValidUTF8(utf8)) return std::nullopt;
      return std::string(utf8);
    }
    at += 4 + dataSize;
  }
  return std::nullopt;
}

}  // namespace

std::string DecodeMemberName(const StoredName& name) {
  if (name.flags & kFlagUTF8Name) return std::string(name.bytes);
  if (std::optional<std::string> unicode = UnicodePath(name.extra, name.bytes)) return *std::move(unicode);
  const bool unix = name.hostSystem == kHostUnix || name.hostSystem == kHostDarwin;
  if (unix && kvx::IsValidUTF8(name.bytes)) return std::string(name.bytes);
  return OEMNameToUTF8(name.bytes);
}

}  // namespace kvxzip
