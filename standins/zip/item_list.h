// The item list of an add request: its splitting into items, and the expansion of
// files, folders and wildcard patterns into the sources of an archive.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "standins/zip/zip_writer.h"

namespace kvxzip {

// Splits at blanks; a double-quoted item may hold blanks (the quotes are dropped).
std::vector<std::string> SplitItemList(std::string_view list);

struct CollectOptions {
  bool recurse = false;             // folders with their subfolders; wildcards in every subfolder
  bool relativeToCurrent = false;   // member names relative to the current folder
  bool dosify = false;              // member names in upper case, as MS-DOS writes them
  bool folderEntries = true;        // folders get entries of their own
  std::vector<std::string> excluded;  // paths never added (the archive being written)
  // Wildcard patterns over member names (a folder's with its final "/"): the members
  // they match are left out, as are the files of a folder left out.
  std::vector<std::string> excludedNames;
};

// Sources in item order, each member name once; items naming nothing are left out.
std::vector<SourceEntry> CollectSources(const std::vector<std::string>& items, const CollectOptions& options);

}  // namespace kvxzip
