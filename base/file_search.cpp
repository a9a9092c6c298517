#include "base/file_search.h"

#include "base/cp1252.h"

namespace kvx {

bool FindFile(std::string_view pattern, uint32_t attributeMask, FileSearchRecord& record) {
  FileSearch search;
  return search.First(pattern, attributeMask, record);
}

bool MatchesAttributeMask(uint32_t attributes, uint32_t attributeMask) {
  const uint32_t excluded = ~attributeMask & (kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory);
  return (attributes & excluded) == 0;
}

bool NameSpelled(const FileSearchRecord& record) {
  return record.WideName.empty() || CP1252ToUTF16(record.Name) == record.WideName;
}

std::string FileNamePart(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace kvx
