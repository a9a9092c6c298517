#include <filesystem>

#include "archive/library_text.h"

namespace kvx {

// The system's names are UTF-8, and so are the library's texts: every path has its text.
bool LibraryTextOf(const std::filesystem::path& path, std::string& text, std::string&) {
  text = path.string();
  return true;
}

std::filesystem::path PathOfLibraryText(std::string_view text) {
  std::string path(text);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace kvx
