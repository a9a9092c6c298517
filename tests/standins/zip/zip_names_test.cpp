#include "standins/zip/zip_names.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

namespace kvxzip {
namespace {

constexpr uint8_t kDOS = 0;
constexpr uint8_t kUnix = 3;

// A Unicode Path field naming `utf8`, written for the name bytes `forBytes`.
std::string UnicodePathField(const std::string& forBytes, const std::string& utf8, uint8_t version = 1) {
  const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(forBytes.data()),
                                                   static_cast<uInt>(forBytes.size())));
  std::string field = {'\x75', '\x70', static_cast<char>(5 + utf8.size()), '\0', static_cast<char>(version)};
  for (int shift = 0; shift < 32; shift += 8) field += static_cast<char>(crc >> shift & 0xFF);
  return field + utf8;
}

// Natively the OEM code page is 437, where 0x82 is "é" and 0xC3 0xA9 are "├⌐".
TEST(MemberNames, DecodedAsTheirWritersMeantThem) {
  const std::string oem = "Donn\x82" "es.FIC";
  const std::string utf8 = "Donn\xC3\xA9" "es.FIC";
  const struct {
    const char* what;
    std::string bytes;
    uint16_t flags;
    uint8_t system;
    std::string extra;
    std::string expected;
  } cases[] = {
      {"UTF-8 flag, whatever the field says", utf8, 0x0800, kDOS, UnicodePathField(utf8, "other"), utf8},
      {"Unicode Path field written for these bytes", oem, 0, kDOS, std::string("\x01\x00\x00\x00", 4) + UnicodePathField(oem, utf8),
       utf8},
      {"field left by a tool that renamed the member", oem, 0, kDOS, UnicodePathField("old.FIC", "old.FIC"), utf8},
      {"field of an unknown version", oem, 0, kDOS, UnicodePathField(oem, "other", 2), utf8},
      {"field whose name is not UTF-8", oem, 0, kDOS, UnicodePathField(oem, "\xC3"), utf8},
      {"field running past the extra data", oem, 0, kDOS, UnicodePathField(oem, "other").substr(0, 8), utf8},
      {"valid UTF-8 from Unix", utf8, 0, kUnix, "", utf8},
      {"the same bytes from MS-DOS", utf8, 0, kDOS, "", "Donn\xE2\x94\x9C\xE2\x8C\x90" "es.FIC"},
      {"bytes from Unix that are not UTF-8", oem, 0, kUnix, "", utf8},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeMemberName({c.bytes, c.flags, c.system, c.extra}), c.expected) << c.what;
}

}  // namespace
}  // namespace kvxzip
