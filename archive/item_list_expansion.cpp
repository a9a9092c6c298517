#include "archive/item_list_expansion.h"

#include <fstream>

#include "base/file_search.h"
#include "host/system_helpers.h"

namespace kvx {
namespace {

// The library splits its list at blanks: a path that keeps blanks in its short form (no
// 8.3 name on a network share or a volume without them) goes in double quotes.
std::string OneItem(std::string_view entry) {
  std::string path = Staged(ShortPath(entry));
  if (path.find(' ') == std::string::npos) return path;
  return '"' + path + '"';
}

}  // namespace

std::optional<std::string> ExpandItems(std::string_view item, size_t capacity) {
  if (item.empty() || item[0] != '@') return OneItem(item);
  std::string list;
  std::ifstream in{NativePath(item.substr(1))};
  std::string line;
  while (in && std::getline(in, line)) {
    // The library reads the list as a C string: a NUL would end it there and drop every later entry.
    if (const size_t nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    list += OneItem(line);
    if (in.peek() != std::ifstream::traits_type::eof()) list += ' ';
    if (list.size() >= capacity) return std::nullopt;
  }
  return list;
}

}  // namespace kvx
