// Windows wildcard rules over one name: * any run, ? one character, "*.*" everything;
// with ignoreCase, ASCII letters match either case (every other byte only itself). The
// file searches and the zip library's member selection both match names so.
#pragma once

#include <string_view>

#include "base/ascii_case.h"

namespace kvx {

inline bool MatchesWildcard(std::string_view pattern, std::string_view name, bool ignoreCase) {
  if (pattern == "*.*") return true;
  const auto same = [ignoreCase](char a, char b) {
    return ignoreCase ? ASCIIUpperChar(a) == ASCIIUpperChar(b) : a == b;
  };
  // Greedy match with one backtrack point: the last star seen.
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace kvx
