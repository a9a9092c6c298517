#include "standins/zip/item_list.h"

#include <set>

#include "base/quoted_words.h"
#include "base/wildcard.h"
#include "standins/zip/file_system.h"
#include "standins/zip/zip_paths.h"

namespace kvxzip {
namespace {

std::string UpperASCII(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

class Collector {
 public:
  explicit Collector(const CollectOptions& options) : options_(options) {
    for (const std::string& path : options.excluded) excluded_.insert(Key(LongPath(AbsolutePath(path))));
  }

  void AddItem(const std::string& item) {
    const std::string path = LongPath(AbsolutePath(item));
    const std::string last = LastComponent(path);
    if (HasWildcard(last)) return AddMatches(ParentOf(path), last);
    const PathInfo info = StatPath(path);
    if (!info.exists || LeftOut(path, info)) return;
    Add(path, info);
    if (info.isFolder) AddFolder(path);
  }

  std::vector<SourceEntry> Take() { return std::move(sources_); }

 private:
  void AddMatches(const std::string& folder, const std::string& pattern) {
    for (const FolderEntry& entry : ListFolder(folder)) {
      const std::string path = JoinPath(folder, entry.name);
      const bool matches = kvx::MatchesWildcard(pattern, entry.name, NamesIgnoreCase());
      if (LeftOut(path, entry.info)) continue;
      if (!entry.info.isFolder && matches) Add(path, entry.info);
      if (entry.info.isFolder && options_.recurse) {
        if (matches) Add(path, entry.info);
        AddMatches(path, pattern);
      }
    }
  }

  // A folder item comes with the files it holds; its subfolders only with recursion.
  void AddFolder(const std::string& folder) {
    for (const FolderEntry& entry : ListFolder(folder)) {
      if (entry.info.isFolder && !options_.recurse) continue;
      const std::string path = JoinPath(folder, entry.name);
      if (LeftOut(path, entry.info)) continue;
      Add(path, entry.info);
      if (entry.info.isFolder) AddFolder(path);
    }
  }

  void Add(const std::string& path, const PathInfo& info) {
    if (info.isFolder && !options_.folderEntries) return;
    if (excluded_.count(Key(path))) return;
    std::string name = MemberNameFor(path, options_.relativeToCurrent);
    if (options_.dosify) name = UpperASCII(name);
    if (name.empty() || !names_.insert(Key(name)).second) return;
    sources_.push_back({path, name, info.isFolder, info.size, info.dosTime});
  }

  // Matched by an exclusion pattern: a folder so matched is not walked either.
  bool LeftOut(const std::string& path, const PathInfo& info) const {
    if (options_.excludedNames.empty()) return false;
    const std::string name = MemberNameFor(path, options_.relativeToCurrent) + (info.isFolder ? "/" : "");
    for (const std::string& pattern : options_.excludedNames)
      if (kvx::MatchesWildcard(pattern, name, NamesIgnoreCase())) return true;
    return false;
  }

  static std::string Key(const std::string& text) { return NamesIgnoreCase() ? UpperASCII(text) : text; }

  const CollectOptions& options_;
  std::set<std::string> excluded_;
  std::set<std::string> names_;
  std::vector<SourceEntry> sources_;
};

}  // namespace

std::vector<std::string> SplitItemList(std::string_view list) { return kvx::SplitQuotedWords(list, " "); }

std::vector<SourceEntry> CollectSources(const std::vector<std::string>& items, const CollectOptions& options) {
  Collector collector(options);
  for (const std::string& item : items)
    if (!item.empty()) collector.AddItem(item);
  return collector.Take();
}

}  // namespace kvxzip
