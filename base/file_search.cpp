#include "base/file_search.h"

#include "base/ascii_case.h"
#include "base/cp1252.h"

namespace kvx {

bool FindFile(std::string_view pattern, uint32_t attribute_mask, FileSearchRecord& record) {
  FileSearch search;
  return search.First(pattern, attribute_mask, record);
}

bool MatchesAttributeMask(uint32_t attributes, uint32_t attribute_mask) {
  const uint32_t excluded = ~attribute_mask & (kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory);
  return (attributes & excluded) == 0;
}

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") pattern = "*";
  // Greedy match with one backtrack point: the last star seen.
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || ASCIIUpperChar(pattern[p]) == ASCIIUpperChar(name[n]))) {
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

bool NameSpelled(const FileSearchRecord& record) {
  return record.WideName.empty() || CP1252ToUTF16(record.Name) == record.WideName;
}

std::string FileNamePart(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace kvx
