// The steps of a restore that touch the data folder: the dated safety copy made before
// it, and the extraction that leaves the folder as it was when it fails.
#pragma once

#include <string>

namespace kvx {

// YYMMDD of the date stamp (year first) and the first two-digit counter from 01 whose
// dataFolder + name + ".ZIP" does not exist yet.
std::string NextSafetyCopyName(const std::string& dataFolder, const std::string& dateStamp);

// Zips the data folder's content into its next safety copy, with the data folder
// current: what PATSAUVE.DTA names, or, when that list is missing, every entry of the
// folder but the earlier safety copies. True when the library succeeded.
bool MakeSafetyCopy(const std::string& dataFolder);

// Extracts every member of the archive into a staging folder inside the data folder,
// then moves what came out over the data folder's files. When the extraction fails the
// data folder is left as it was. True when every member reached the data folder.
bool ExtractIntoDataFolder(const std::string& archive, const std::string& dataFolder);

}  // namespace kvx
