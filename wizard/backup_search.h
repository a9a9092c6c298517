// The search for backup archives below a folder: every file of the given name, in the
// folder and its subfolders (recycle-bin folders excepted), reported as it is found.
// Portable; TRoutine runs it on a worker thread.
#pragma once

#include <functional>
#include <string>

namespace kvx {

struct SearchReport {
  std::function<void(const std::string& path)> found;          // full path of a match
  std::function<void(const std::string& folder)> enteringFolder;  // each subfolder before it is searched
};

// Searches folder (with or without a final separator) for fileName; stopRequested is
// asked before each folder entry, and the search ends as soon as it answers true.
void SearchBackups(const std::string& folder, const std::string& fileName, const SearchReport& report,
                   const std::function<bool()>& stopRequested);

}  // namespace kvx
