#include "archive/item_list_expansion.h"

#include <fstream>

#include "base/file_search.h"
#include "host/system_helpers.h"

namespace kvx {

std::optional<std::string> ExpandItems(std::string_view item, size_t capacity) {
  if (item.empty() || item[0] != '@') return Staged(ShortPath(item));
  std::string list;
  std::ifstream in{NativePath(item.substr(1))};
  std::string line;
  while (in && std::getline(in, line)) {
    // The library reads the list as a C string: a NUL would end it there and drop every later entry.
    if (const size_t nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    list += Staged(ShortPath(line));
    if (in.peek() != std::ifstream::traits_type::eof()) list += ' ';
    if (list.size() >= capacity) return std::nullopt;
  }
  return list;
}

}  // namespace kvx
