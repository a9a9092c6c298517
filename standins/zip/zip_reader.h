// Reads zip archives (zip64 included): the central directory, the member count, and
// the extraction of matching members into a destination folder, which no member name
// may leave.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standins/zip/diskette_drive.h"
#include "standins/zip/zip_faults.h"
#include "standins/zip/zip_result.h"

namespace kvxzip {

struct ExtractOptions {
  std::string destination;
  std::string fileSpec = "*.*";
  bool overwrite = false;        // replace existing files; otherwise they are kept
  bool recurse = false;          // match in every folder of the archive and recreate the folders
  bool noDirectoryNames = false; // every file straight into the destination
  bool testOnly = false;         // read and check every member (size, CRC-32), write nothing
  bool checkCRC = true;          // false: data whose CRC-32 differs passes (the careless model)
  ZipFaults faults;
};

// Where the reader reports: progress in whole percentages of the bytes to extract
// (false cancels), and problems with the message identifiers of the extraction library.
class ReadObserver {
 public:
  virtual ~ReadObserver() = default;
  virtual bool Progress(const std::string& item, int percent) = 0;
  virtual void Problem(int32_t messageId, const std::string& item) = 0;
};

// Number of members; an archive that cannot be opened or read reports its problem.
// With a drive, the archive may be the last volume of a spanned set, the other volumes
// being asked for from the drive as they are needed.
ZipResult CountMembers(const std::string& archivePath, uint64_t& count, ReadObserver& observer,
                       DisketteDrive* drive = nullptr);

// Extracts the members matching the file pattern. Every member that cannot be
// handled is reported and left out, the others are extracted; the result is the
// first problem met, or Ok.
ZipResult ExtractMembers(const std::string& archivePath, const ExtractOptions& options, ReadObserver& observer,
                         DisketteDrive* drive = nullptr);

}  // namespace kvxzip
