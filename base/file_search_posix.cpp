#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/wildcard.h"

namespace kvx {

struct FileSearch::State {
  DIR* dir = nullptr;
  std::string namePattern;  // Windows-1252
  uint32_t mask = 0;
  ~State() {
    if (dir) closedir(dir);
  }
};

namespace {

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

uint32_t AttributesOf(const struct stat& st, std::string_view name) {
  uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : S_ISREG(st.st_mode) ? kAttrArchive : kAttrSystem;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
  if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
  return attributes;
}

void FillRecord(const struct stat& st, std::string_view utf8Name, std::string name, FileSearchRecord& record) {
  record.Name = std::move(name);
  record.WideName = UTF8ToUTF16(utf8Name);
  record.AlternateName.clear();
  record.Attributes = AttributesOf(st, utf8Name);
  record.Size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  record.LastWrite = kFileTimeUnixEpoch + static_cast<int64_t>(st.st_mtim.tv_sec) * kFileTimeTicksPerSecond +
                     st.st_mtim.tv_nsec / 100;
}

// Splits "folder/pattern" (UTF-8) into its folder ("." when none) and its last part.
void SplitPattern(const std::string& utf8, std::string& folder, std::string& last) {
  const size_t slash = utf8.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : utf8.substr(0, slash);
  last = slash == std::string::npos ? utf8 : utf8.substr(slash + 1);
}

}  // namespace

FileSearch::FileSearch() = default;
FileSearch::~FileSearch() = default;

bool FileSearch::First(std::string_view pattern, uint32_t attributeMask, FileSearchRecord& record) {
  state_.reset();
  const std::string utf8 = NativePath(pattern).string();
  std::string folder, last;
  SplitPattern(utf8, folder, last);
  if (!HasWildcard(last)) {  // one name: no need to read the folder
    struct stat st {};
    if (last.empty() || stat(utf8.c_str(), &st) != 0) return false;
    FillRecord(st, last, UTF8ToCP1252(last), record);
    return MatchesAttributeMask(record.Attributes, attributeMask);
  }
  auto state = std::make_unique<State>();
  state->dir = opendir(folder.c_str());
  if (!state->dir) return false;
  state->namePattern = UTF8ToCP1252(last);
  state->mask = attributeMask;
  state_ = std::move(state);
  return Next(record);
}

bool FileSearch::Next(FileSearchRecord& record) {
  if (!state_) return false;
  while (dirent* entry = readdir(state_->dir)) {
    std::string name = UTF8ToCP1252(entry->d_name);
    if (!MatchesWildcard(state_->namePattern, name, true)) continue;
    struct stat st {};
    if (fstatat(dirfd(state_->dir), entry->d_name, &st, 0) != 0) continue;  // a dangling link
    FillRecord(st, entry->d_name, std::move(name), record);
    if (MatchesAttributeMask(record.Attributes, state_->mask)) return true;
  }
  state_.reset();
  return false;
}

std::string OpenableName(const FileSearchRecord& record) {
  if (NameSpelled(record)) return record.Name;
  std::string name;
  for (const char16_t unit : record.WideName) {
    const std::string spelled = UTF16ToCP1252(std::u16string_view(&unit, 1));
    if (spelled != "?" || unit == u'?') {
      name += spelled;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\x81%04X", static_cast<unsigned>(unit));
    name += escape;
  }
  return name;
}

std::string SystemSeparators(std::string_view path) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

std::filesystem::path UnlimitedPath(const std::filesystem::path& path) { return path; }

// Windows-1252 to UTF-8, with the units OpenableName escaped written back.
std::filesystem::path NativePath(std::string_view windowsPath) {
  const std::string path = SystemSeparators(windowsPath);
  std::u16string units;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned value = 0;
    const char* digits = path.data() + i + 1;
    if (static_cast<unsigned char>(path[i]) == 0x81 && i + 4 < path.size() &&
        std::from_chars(digits, digits + 4, value, 16).ptr == digits + 4) {
      units += static_cast<char16_t>(value);
      i += 4;
    } else {
      units += CP1252ToUTF16Unit(static_cast<unsigned char>(path[i]));
    }
  }
  return std::filesystem::path(UTF16ToUTF8(units));
}

}  // namespace kvx
