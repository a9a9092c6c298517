// Which names meet once letter case is ignored, as Windows' file system decides it: the
// same answers natively and under wine.
#include "base/file_name_case.h"

#include <gtest/gtest.h>

namespace kvx {
namespace {

TEST(FileNameCase, NamesMeetAsWindowsComparesThem) {
  const struct {
    const char* a;
    const char* b;
    bool meet;
  } cases[] = {
      {"clients.fic", "CLIENTS.FIC", true},
      {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},          // été, ÉTÉ
      {"\xC5\x93uvre.fic", "\xC5\x92UVRE.FIC", true},            // œ, Œ
      {"\xC5\xA1", "\xC5\xA0", true},                             // š, Š
      {"\xC5\xBE", "\xC5\xBD", true},                             // ž, Ž
      {"\xC3\xBF", "\xC5\xB8", true},                             // ÿ, Ÿ
      {"\xC5\x82\xC3\xB3\x64\xC5\xBA", "\xC5\x81\xC3\x93\x44\xC5\xB9", true},  // łódź, ŁÓDŹ
      {"\xC4\x9F", "\xC4\x9E", true},                             // ğ, Ğ
      {"\xC6\x92", "\xC6\x91", true},                             // ƒ, Ƒ
      {"\xCE\xB1\xCF\x89", "\xCE\x91\xCE\xA9", true},             // αω, ΑΩ
      {"\xCE\xAC", "\xCE\x86", true},                             // ά, Ά
      {"\xD0\xB4\xD1\x91", "\xD0\x94\xD0\x81", true},             // дё, ДЁ
      {"\xC3\xA6", "\xC3\x86", true},                             // æ, Æ
      // Not joined by the file system: İ and i, ı and I, ß and SS or ẞ, ſ and S, µ and Μ, ς and Σ.
      {"\xC4\xB0", "i", false},
      {"\xC4\xB0", "I", false},
      {"\xC4\xB1", "I", false},
      {"\xC3\x9F", "SS", false},
      {"\xC3\x9F", "\xE1\xBA\x9E", false},
      {"\xC5\xBF", "S", false},
      {"\xC2\xB5", "\xCE\x9C", false},
      {"\xCF\x82", "\xCE\xA3", false},
      {"\xC3\xB7", "\xC3\x97", false},  // ÷ and ×, not letters
      {"\xC5\x93", "oe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNameUpper(c.a) == FileNameUpper(c.b), c.meet) << c.a << " " << c.b;
}

TEST(FileNameCase, CapitalsAreKeptAndTheRestStays) {
  EXPECT_EQ(FileNameUpper("\xC5\x93uvre/\xC3\xA9t\xC3\xA9.fic"), "\xC5\x92UVRE/\xC3\x89T\xC3\x89.FIC");
  EXPECT_EQ(FileNameUpper("\xC5\x92UVRE 1.FIC"), "\xC5\x92UVRE 1.FIC");
  EXPECT_EQ(FileNameUpper("\xE6\x97\xA5\xF0\x9F\x98\x80.txt"), "\xE6\x97\xA5\xF0\x9F\x98\x80.TXT");
  EXPECT_EQ(FileNameUpper(""), "");
}

}  // namespace
}  // namespace kvx
