#include "archive/item_list_expansion.h"

#include <fstream>

#include "base/file_search.h"
#include "base/folders.h"

namespace kvx {
namespace {

bool IsAbsolute(std::string_view path) {
  return (!path.empty() && (path[0] == '\\' || path[0] == '/')) || (path.size() > 1 && path[1] == ':');
}

// The library splits its list at blanks: every entry goes in double quotes, in its long
// form, so that the archive keeps the names as the person sees them.
std::string OneItem(std::string_view entry) {
  const std::string path = IsAbsolute(entry) ? SystemSeparators(entry)
                                             : CurrentFolder() + kPathSeparator + SystemSeparators(entry);
  return '"' + Staged(path) + '"';
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
