// The steps of a restore that touch the data folder: the dated safety copy made before
// it and read back whole, and the restore prepared aside in a work folder of its own,
// then switched in by renames, whole or not at all.
#pragma once

#include <string>

#include "wizard/folder_switch.h"

namespace kvx {

class HostBridge;

// YYMMDD of the date stamp (year first) and the first two-digit counter from 01 whose
// dataFolder + name + ".ZIP" does not exist yet.
std::string NextSafetyCopyName(const std::string& dataFolder, const std::string& dateStamp);

struct SafetyCopy {
  std::string path;  // empty when no whole copy exists
  std::string failure;  // why, when path is empty
};

// Zips the data folder's content into its next safety copy, with the data folder
// current: what PATSAUVE.DTA names, or, when that list is missing, every entry of the
// folder but the earlier safety copies and restore work folders. The copy is then read
// back through; a copy that failed either way is removed. The progress goes to the host.
SafetyCopy MakeSafetyCopy(HostBridge& host, const std::string& dataFolder);

// A restore prepared in a fresh work folder inside the data folder (same volume, so
// that the switch only renames). The work folder goes with the object, unless a switch
// that could not be undone left original files in it.
class StagedRestore {
 public:
  explicit StagedRestore(std::string dataFolder);
  ~StagedRestore();
  StagedRestore(const StagedRestore&) = delete;
  StagedRestore& operator=(const StagedRestore&) = delete;

  // Extracts every member of the archive into the work folder; true when the library
  // extracted them all (each checked against its size and CRC-32).
  bool Extract(HostBridge& host, const std::string& archive);
  // Where a file of the prepared data lies.
  std::string PreparedPath(const std::string& name) const { return incoming_ + name; }
  // Moves the prepared data over the data folder (see SwitchFolders).
  SwitchOutcome Switch();
  // The work folder, with its trailing separator; empty when none could be made.
  const std::string& WorkFolder() const { return work_; }

 private:
  std::string dataFolder_;
  std::string work_;
  std::string incoming_;
  bool keep_ = false;
};

}  // namespace kvx
