#include "kvxburn/tree_adder.h"

#include <algorithm>
#include <vector>

#include "base/file_search.h"

namespace kvx {

TreeAdder::TreeAdder(ImageLayout& layout, std::function<void(const std::string&)> failure)
    : layout_(layout), failure_(std::move(failure)) {
  // The names of one folder search are distinct files, whatever their case.
  layout_.CaseSensitiveNames = true;
}

void TreeAdder::AddPath(std::string path) {
  while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
  FileSearchRecord record;
  if (!FindFile(path, kAttrAnyFile, record)) return Fail("not found: " + path);
  if (record.Name == "." || record.Name == "..") return Fail("name the folder itself: " + path);
  if (!(record.Attributes & kAttrDirectory)) {
    const size_t before = layout_.Entries.size();
    if (layout_.AddFile("\\", path, false) != AddFileResult::Found || layout_.Entries.size() == before)
      Fail("not added: " + path);
    return;
  }
  AddFolder(layout_.CreateDirectory(layout_.FindDirectory("\\"), record.Name, kAttrDirectory, record.WideName), path);
}

void TreeAdder::AddFolder(TISODirectory* dir, const std::string& path) {
  if (!dir) return Fail("folder not added: " + path);
  std::vector<FileSearchRecord> records;
  FileSearch search;
  FileSearchRecord record;
  for (bool found = search.First(path + kPathSeparator + "*", kAttrAnyFile, record); found; found = search.Next(record))
    if (record.Name != "." && record.Name != "..") records.push_back(record);
  // Sorted, so that the same tree always gives the same image.
  std::sort(records.begin(), records.end(),
            [](const FileSearchRecord& a, const FileSearchRecord& b) { return a.Name < b.Name; });
  for (const FileSearchRecord& child : records) {
    const std::string childPath = path + kPathSeparator + OpenableName(child);
    if (child.Attributes & kAttrDirectory)
      AddFolder(layout_.CreateDirectory(dir, child.Name, kAttrDirectory, child.WideName), childPath);
    else if (!layout_.AddSearchEntry(dir, child, childPath))
      Fail("not added: " + childPath);
  }
}

void TreeAdder::Fail(const std::string& text) {
  failed_ = true;
  failure_(text);
}

}  // namespace kvx
