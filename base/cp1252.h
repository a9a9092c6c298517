// Windows-1252 <-> UTF-16 conversion. Every text of the toolbox is Windows-1252 bytes
// in a std::string; UTF-16 appears only at the edges (Joliet names, wide Win32 calls).
#pragma once

#include <string>
#include <string_view>

namespace kvx {

// Code unit of one Windows-1252 byte; the five unassigned bytes map to themselves.
char16_t CP1252ToUTF16Unit(unsigned char byte);

std::u16string CP1252ToUTF16(std::string_view text);

// Characters with no Windows-1252 byte become '?'.
std::string UTF16ToCP1252(std::u16string_view text);

// UTF-8 (Linux file names, tool output) <-> Windows-1252.
std::string CP1252ToUTF8(std::string_view text);
std::string UTF8ToCP1252(std::string_view text);
// UTF-8 (Linux file names) as UTF-16, characters beyond the BMP as surrogate pairs.
std::u16string UTF8ToUTF16(std::string_view text);
std::string UTF16ToUTF8(std::u16string_view text);

}  // namespace kvx
