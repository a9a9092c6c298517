// A fast walk over one folder: the names of its entries and whether each is a folder,
// without the sizes, times and attributes a directory search (file_search.h) reads for
// every entry. For searches over large trees. Names are Windows-1252.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kvx {

struct FolderEntry {
  std::string name;
  bool isFolder = false;
};

// Calls visit for every entry of folder except "." and ".."; stops early when visit
// returns false. False when the folder cannot be read.
bool ScanFolder(std::string_view folder, const std::function<bool(const FolderEntry&)>& visit);

}  // namespace kvx
