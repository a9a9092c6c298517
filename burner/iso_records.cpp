#include "burner/iso_records.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/local_time.h"

namespace kvx {

void PutLittle16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void PutBig16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}

void PutLittle32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutBig32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
}

void PutBoth16(uint8_t* out, uint16_t value) {
  PutLittle16(out, value);
  PutBig16(out + 2, value);
}

void PutBoth32(uint8_t* out, uint32_t value) {
  PutLittle32(out, value);
  PutBig32(out + 4, value);
}

void PutPrimaryText(char* field, size_t size, std::string_view text) {
  const std::string upper = ASCIIUpper(text.substr(0, size));
  std::memset(field, ' ', size);
  std::memcpy(field, upper.data(), upper.size());
}

std::string UTF16BigEndian(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    out += static_cast<char>(unit >> 8);
    out += static_cast<char>(unit & 0xFF);
  }
  return out;
}

std::string UTF16BigEndian(std::string_view text) { return UTF16BigEndian(CP1252ToUTF16(text)); }

std::string DCharacters(std::string_view text) {
  std::string out = ASCIIUpper(text);
  for (char& c : out)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '_';
  return out;
}

void PutJolietText(char* field, size_t size, std::string_view text) {
  std::string padded(text.substr(0, size / 2));
  padded.resize(size / 2, ' ');
  const std::string wide = UTF16BigEndian(padded);
  std::memcpy(field, wide.data(), wide.size());
}

// Hundredths of a second, where a two-digit millisecond text would misplace values below 100.
void PutDescriptorDate(char* field, TDateTime value) {
  if (std::fpclassify(value) == FP_ZERO) {  // no date: the form ECMA-119 gives for "not specified"
    std::memset(field, '0', 16);
    field[16] = 0;
    return;
  }
  const CivilTime t = DecodeDateTime(value);
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second, t.Millisecond / 10);
  std::memset(field, ' ', 16);
  std::memcpy(field, text, std::min<size_t>(16, std::strlen(text)));
  field[16] = static_cast<char>(static_cast<int8_t>(GmtOffsetMinutesAtLocal(t) / 15));
}

void PutRecordingDate(uint8_t* field, const CivilTime& local, int gmtOffsetMinutes) {
  field[0] = static_cast<uint8_t>(std::clamp(local.Year - 1900, 0, 255));
  field[1] = static_cast<uint8_t>(local.Month);
  field[2] = static_cast<uint8_t>(local.Day);
  field[3] = static_cast<uint8_t>(local.Hour);
  field[4] = static_cast<uint8_t>(local.Minute);
  field[5] = static_cast<uint8_t>(local.Second);
  field[6] = static_cast<uint8_t>(static_cast<int8_t>(gmtOffsetMinutes / 15));
}

}  // namespace kvx
