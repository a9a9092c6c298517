#include "base/cp1252.h"

#include <array>

namespace kvx {
namespace {

// Bytes 80h..9Fh; 81h, 8Dh, 8Fh, 90h and 9Dh are unassigned and kept as themselves.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int UTF16UnitToCP1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == unit) return static_cast<int>(0x80 + i);
  return -1;
}

void AppendUTF8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp >= 0x10000) {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One code point from position i (advanced past it); '?' for a malformed sequence.
char32_t DecodeUTF8(std::string_view text, size_t& i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  char32_t cp = '?';
  size_t len = 1;
  if (c < 0x80) {
    cp = c;
  } else if ((c >> 5) == 0x6 && i + 1 < text.size()) {
    cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
    len = 2;
  } else if ((c >> 4) == 0xE && i + 2 < text.size()) {
    cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
    len = 3;
  } else if ((c >> 3) == 0x1E && i + 3 < text.size()) {
    cp = ((c & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) | (text[i + 3] & 0x3F);
    len = 4;
  }
  i += len;
  return cp;
}

}  // namespace

char16_t CP1252ToUTF16Unit(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

std::u16string CP1252ToUTF16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out += CP1252ToUTF16Unit(static_cast<unsigned char>(c));
  return out;
}

std::string UTF16ToCP1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t unit : text) {
    int byte = UTF16UnitToCP1252(unit);
    out += static_cast<char>(byte < 0 ? '?' : byte);
  }
  return out;
}

std::string UTF16ToUTF8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    AppendUTF8(out, cp);
  }
  return out;
}

std::string CP1252ToUTF8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUTF8(out, CP1252ToUTF16Unit(static_cast<unsigned char>(c)));
  return out;
}

std::string UTF8ToCP1252(std::string_view text) {
  std::u16string units;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = DecodeUTF8(text, i);
    units += cp > 0xFFFF ? u'?' : static_cast<char16_t>(cp);
  }
  return UTF16ToCP1252(units);
}

std::u16string UTF8ToUTF16(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = DecodeUTF8(text, i);
    if (cp > 0xFFFF) {
      units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(cp);
    }
  }
  return units;
}

}  // namespace kvx
