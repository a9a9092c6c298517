#include "archive/item_list_expansion.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "archive/library_text.h"
#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/utf8.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

fs::path FromUTF8(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

// The path as the person knows it.
std::string Shown(const fs::path& path) { return UTF16ToCP1252(path.u16string()); }

bool HasWildcard(const fs::path& name) { return name.u16string().find_first_of(u"*?") != std::u16string::npos; }

bool Listable(const fs::path& folder) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  return !error;
}

// Every entry must name something the backup can read: a file, a folder that can be
// listed, or a pattern in a folder that can; anything else would be saved as nothing.
bool Names(const fs::path& path, std::string& error) {
  std::error_code statError;
  const bool pattern = HasWildcard(path.filename());
  const fs::path folder = pattern ? path.parent_path() : path;
  if (!pattern && !fs::exists(path, statError)) {
    error = "Fichier ou dossier à sauvegarder introuvable : " + Shown(path);
    return false;
  }
  if ((pattern || fs::is_directory(path, statError)) && !Listable(folder)) {
    error = "Impossible de lire le dossier à sauvegarder : " + Shown(folder);
    return false;
  }
  return true;
}

// The library splits its list at blanks: every entry goes in double quotes, in its long
// form when the library can take it, so that the archive keeps the names as the person sees them.
bool AddItem(const fs::path& entry, std::string& list, std::string& error) {
  std::error_code absoluteError;
  const fs::path absolute = fs::absolute(entry, absoluteError).lexically_normal();
  std::string text;
  if (absoluteError || !Names(absolute, error) || !LibraryTextOf(absolute, text, error)) return false;
  if (!list.empty()) list += ' ';
  list += '"' + Staged(text) + '"';
  return true;
}

// A list file written by this system is UTF-8 behind a byte order mark; one written by
// hand, without it, is Windows-1252.
bool ReadEntries(const fs::path& file, std::vector<fs::path>& entries) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return false;
  const bool utf8 = text.starts_with(kByteOrderMark);
  if (utf8) text.erase(0, kByteOrderMark.size());
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    // The library reads the list as a C string: a NUL ends the entry there.
    if (const size_t nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (utf8 && !IsValidUTF8(line)) return false;  // not what it says it is: no name can be trusted
    entries.push_back(utf8 ? FromUTF8(line) : NativePath(line));
  }
  return true;
}

}  // namespace

bool ExpandItems(std::string_view item, std::string& list, std::string& error, size_t capacity) {
  list.clear();
  std::vector<fs::path> entries;
  if (item.empty() || item[0] != '@') {
    entries.push_back(NativePath(item));
  } else if (!ReadEntries(NativePath(item.substr(1)), entries)) {
    error = "Impossible de lire la liste des fichiers à sauvegarder : " + std::string(item.substr(1));
    return false;
  }
  for (const fs::path& entry : entries) {
    if (!AddItem(entry, list, error)) return false;
    if (list.size() >= capacity) {
      error = "La liste des fichiers à sauvegarder dépasse 640000 caractères : sauvegarde non effectuée.";
      return false;
    }
  }
  return true;
}

}  // namespace kvx
