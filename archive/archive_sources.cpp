#include "archive/archive_sources.h"

#include <fstream>
#include <optional>
#include <set>
#include <system_error>

#include "archive/library_text.h"
#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/quoted_words.h"
#include "base/wildcard.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kNamesIgnoreCase = true;
#else
constexpr bool kNamesIgnoreCase = false;
#endif

std::string UTF8Of(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::string Key(const std::string& text) { return kNamesIgnoreCase ? ASCIIUpper(text) : text; }

// The absolute form, "." and ".." resolved; as given when the current folder is gone.
fs::path Absolute(const fs::path& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return (error ? path : absolute).lexically_normal();
}

// The current folder by its long name whatever its characters; empty when it is gone.
fs::path CurrentPath() {
  std::error_code error;
  const fs::path current = fs::current_path(error);
  return error ? fs::path() : current.lexically_normal();
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// The part of path below folder, or nothing when it does not lie below it.
std::optional<fs::path> Below(const fs::path& path, const fs::path& folder) {
  auto part = path.begin();
  for (const fs::path& step : folder) {
    if (step.empty()) continue;  // the empty last step of a folder written with its separator
    if (part == path.end() || Key(UTF8Of(*part)) != Key(UTF8Of(step))) return std::nullopt;
    ++part;
  }
  fs::path rest;
  for (; part != path.end(); ++part) rest /= *part;
  return rest;
}

class SourceCollector {
 public:
  SourceCollector(bool recurse, fs::path excluded)
      : recurse_(recurse), excluded_(Key(UTF8Of(excluded))), current_(CurrentPath()) {}

  void AddItem(const std::string& item) {
    const fs::path path = Absolute(PathOfLibraryText(item));
    std::error_code error;
    if (HasWildcard(UTF8Of(path.filename()))) return AddMatches(path.parent_path(), UTF8Of(path.filename()));
    if (fs::is_directory(UnlimitedPath(path), error)) return AddFolder(path);
    if (fs::is_regular_file(UnlimitedPath(path), error)) Add(path);
  }

  std::vector<SourceFile> Take() { return std::move(sources_); }

 private:
  // The walks go in the unlimited form, so that entries past MAX_PATH are listed; the
  // paths kept are in the form given.
  void AddMatches(const fs::path& folder, const std::string& pattern) {
    std::error_code error;
    for (fs::directory_iterator it(UnlimitedPath(folder), error), end; !error && it != end; it.increment(error)) {
      const fs::path path = folder / it->path().filename();
      if (it->is_directory(error)) {
        if (recurse_) AddMatches(path, pattern);
      } else if (it->is_regular_file(error) && MatchesWildcard(pattern, UTF8Of(path.filename()), kNamesIgnoreCase)) {
        Add(path);
      }
    }
  }

  void AddFolder(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator it(UnlimitedPath(folder), error), end; !error && it != end; it.increment(error)) {
      const fs::path path = folder / it->path().filename();
      if (it->is_directory(error)) {
        if (recurse_) AddFolder(path);
      } else if (it->is_regular_file(error)) {
        Add(path);
      }
    }
  }

  void Add(const fs::path& path) {
    if (Key(UTF8Of(path)).rfind(excluded_, 0) == 0) return;
    const std::optional<fs::path> below = current_.empty() ? std::nullopt : Below(path, current_);
    const std::string name = UTF8Of(below ? *below : path.relative_path());
    std::error_code error;
    const uint64_t size = fs::file_size(UnlimitedPath(path), error);
    if (name.empty() || IsExcludedMember(name, kWorkFolderExclusion)) return;
    if (error || !names_.insert(Key(name)).second) return;
    sources_.push_back({path, {name, size}});
  }

  bool recurse_;
  std::string excluded_;
  fs::path current_;
  std::set<std::string> names_;
  std::vector<SourceFile> sources_;
};

// The path as the person knows it.
std::string Shown(const fs::path& path) { return UTF16ToCP1252(path.u16string()); }

}  // namespace

bool IsExcludedMember(std::string_view name, std::string_view patterns) {
  for (const std::string& pattern : SplitQuotedWords(patterns, " "))
    if (!pattern.empty() && MatchesWildcard(pattern, name, kNamesIgnoreCase)) return true;
  return false;
}

bool CheckNoWorkFolder(const std::vector<ArchiveMember>& members, const std::string& shownArchive,
                       std::vector<std::string>& problems) {
  const size_t before = problems.size();
  for (const ArchiveMember& member : members)
    if (IsExcludedMember(member.name, kWorkFolderExclusion))
      problems.push_back("Dossier de travail d'une restauration dans la sauvegarde " + shownArchive + " : " +
                         UTF8ToCP1252(member.name));
  return problems.size() == before;
}

std::vector<SourceFile> ListSources(std::string_view itemList, bool recurse, const fs::path& excluded) {
  SourceCollector collector(recurse, Absolute(excluded));
  for (const std::string& item : SplitQuotedWords(itemList, " "))
    if (!item.empty()) collector.AddItem(item);
  return collector.Take();
}

std::vector<ExpectedMember> ExpectedMembers(const std::vector<SourceFile>& sources) {
  std::vector<ExpectedMember> members;
  for (const SourceFile& source : sources) members.push_back(source.member);
  return members;
}

bool ReadSourcesWhole(const std::vector<SourceFile>& sources, std::vector<std::string>& problems) {
  const size_t before = problems.size();
  std::string chunk(64 * 1024, '\0');
  for (const SourceFile& source : sources) {
    std::ifstream in(UnlimitedPath(source.path), std::ios::binary);
    if (!in) {
      problems.push_back("Impossible d'ouvrir le fichier : " + Shown(source.path));
      continue;
    }
    uint64_t read = 0;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0)
      read += static_cast<uint64_t>(in.gcount());
    if (in.bad() || read < source.member.size)
      problems.push_back("Impossible de lire le fichier : " + Shown(source.path) + " (lecture interrompue)");
  }
  return problems.size() == before;
}

}  // namespace kvx
