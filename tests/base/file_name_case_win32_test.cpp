// The capitals taken for file names are those the system's ordinal comparison ignores
// case with, for every UTF-16 unit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "base/cp1252.h"
#include "base/file_name_case.h"

namespace kvx {
namespace {

TEST(FileNameCase, EveryUnitMeetsItsCapitalInTheOrdinalComparison) {
  for (uint32_t unit = 1; unit < 0x10000; ++unit) {
    if (unit >= 0xD800 && unit < 0xE000) continue;
    const std::u16string text(1, static_cast<char16_t>(unit));
    const std::u16string upper = UTF8ToUTF16(FileNameUpper(UTF16ToUTF8(text)));
    ASSERT_EQ(upper.size(), 1u) << std::hex << unit;
    const auto* a = reinterpret_cast<const wchar_t*>(text.data());
    const auto* b = reinterpret_cast<const wchar_t*>(upper.data());
    ASSERT_EQ(CompareStringOrdinal(a, 1, b, 1, TRUE), CSTR_EQUAL) << std::hex << unit;
    ASSERT_EQ(FileNameUpper(UTF16ToUTF8(upper)), UTF16ToUTF8(upper)) << std::hex << unit;
  }
}

}  // namespace
}  // namespace kvx
