// Case changes of the ASCII letters only: every other byte of a Windows-1252 text stays.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

inline char ASCIIUpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char ASCIILowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string ASCIIUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ASCIIUpperChar(c);
  return out;
}

inline std::string ASCIILower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ASCIILowerChar(c);
  return out;
}

}  // namespace kvx
