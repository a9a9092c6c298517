// Fuzz target of the zip stand-in's name rules: the item-list splitter, the wildcard
// matcher (against a plain reference matcher) and the member-name check an extraction
// relies on to stay inside its destination. Input: pattern, NUL, name (the whole input
// is also the item list).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/wildcard.h"
#include "standins/zip/item_list.h"
#include "standins/zip/zip_paths.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using kvx::fuzz::Expect;

// '*' any run, '?' one character, "*.*" everything: by dynamic programming.
bool ReferenceMatch(std::string_view pattern, std::string_view name, bool ignoreCase) {
  if (pattern == "*.*") return true;
  const auto fold = [&](char c) { return ignoreCase && c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
  // matches[j]: the pattern so far matches the first j characters of name.
  std::vector<char> matches(name.size() + 1, 0);
  matches[0] = 1;
  for (const char p : pattern) {
    std::vector<char> next(name.size() + 1, 0);
    for (size_t j = 0; j <= name.size(); ++j) {
      if (p == '*') next[j] = matches[j] || (j > 0 && next[j - 1]);
      else if (j > 0) next[j] = matches[j - 1] && (p == '?' || fold(p) == fold(name[j - 1]));
    }
    matches.swap(next);
  }
  return matches[name.size()];
}

void CheckSplit(std::string_view list) {
  const std::vector<std::string> items = kvxzip::SplitItemList(list);
  std::string quoted;
  for (const std::string& item : items) {
    Expect(item.find('"') == std::string::npos, "items keep no quotes");
    quoted += (quoted.empty() ? "\"" : " \"") + item + "\"";
  }
  Expect(kvxzip::SplitItemList(quoted) == items, "quoted items split back into themselves");
}

// A safe name joined to a destination and resolved stays below it.
void CheckSafeName(std::string_view name) {
  if (!kvxzip::IsSafeMemberName(name)) return;
  std::string relative(name);
  for (char& c : relative)
    if (c == '\\') c = '/';
  const std::string resolved = kvxzip::NormalizePath("/dest/" + relative);
  Expect(resolved.rfind("/dest/", 0) == 0 || resolved == "/dest", "a safe member name stays in its destination");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;  // the reference matcher is quadratic
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckSplit(input);
  const size_t nul = input.find('\0');
  const std::string_view pattern = input.substr(0, nul);
  const std::string_view name = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  for (const bool ignoreCase : {false, true})
    Expect(kvx::MatchesWildcard(pattern, name, ignoreCase) == ReferenceMatch(pattern, name, ignoreCase),
           "the wildcard matcher agrees with the reference");
  CheckSafeName(name);
  CheckSafeName(input);
  return 0;
}
