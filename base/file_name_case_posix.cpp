#include <cstdint>
#include <iterator>

#include "base/cp1252.h"
#include "base/file_name_case.h"

namespace kvx {
namespace {

// Small letters first to last, every `step` units, and how far their capitals lie: the
// pairs Windows' ordinal comparison joins (read from it under wine). A letter whose
// capital has another small letter (ı, ſ, µ, ς, ǅ) is not in it.
struct CaseRun {
  char16_t first, last;
  uint8_t step;
  int16_t delta;
};

constexpr CaseRun kRuns[] = {
    {0x0061, 0x007A, 1, -32},  {0x00E0, 0x00F6, 1, -32}, {0x00F8, 0x00FE, 1, -32},  {0x00FF, 0x00FF, 1, 121},
    {0x0101, 0x012F, 2, -1},   {0x0133, 0x0137, 2, -1},  {0x013A, 0x0148, 2, -1},   {0x014B, 0x0177, 2, -1},
    {0x017A, 0x017E, 2, -1},   {0x0192, 0x0192, 1, -1},  {0x0371, 0x0373, 2, -1},   {0x0377, 0x0377, 1, -1},
    {0x037B, 0x037D, 1, 130},  {0x03AC, 0x03AC, 1, -38}, {0x03AD, 0x03AF, 1, -37},  {0x03B1, 0x03C1, 1, -32},
    {0x03C3, 0x03CB, 1, -32},  {0x03CC, 0x03CC, 1, -64}, {0x03CD, 0x03CE, 1, -63},  {0x03D7, 0x03D7, 1, -8},
    {0x03D9, 0x03EF, 2, -1},   {0x03F2, 0x03F2, 1, 7},   {0x03F3, 0x03F3, 1, -116}, {0x03F8, 0x03F8, 1, -1},
    {0x03FB, 0x03FB, 1, -1},   {0x0430, 0x044F, 1, -32}, {0x0450, 0x045F, 1, -80},  {0x0461, 0x0481, 2, -1},
    {0x048B, 0x04BF, 2, -1},   {0x04C2, 0x04CE, 2, -1},  {0x04CF, 0x04CF, 1, -15},  {0x04D1, 0x052F, 2, -1},
};

char16_t Upper(char16_t unit) {
  for (const CaseRun& run : kRuns)
    if (unit >= run.first && unit <= run.last && (unit - run.first) % run.step == 0)
      return static_cast<char16_t>(unit + run.delta);
  return unit;
}

}  // namespace

std::string FileNameUpper(std::string_view name) {
  std::u16string text = UTF8ToUTF16(name);
  for (char16_t& unit : text) unit = Upper(unit);
  return UTF16ToUTF8(text);
}

}  // namespace kvx
