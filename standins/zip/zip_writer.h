// Writes a new zip archive from a list of sources: members compressed in parallel and
// written in order, zip64 records where sizes, offsets or the entry count need them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standins/zip/zip_faults.h"
#include "standins/zip/zip_result.h"

namespace kvxzip {

struct SourceEntry {
  std::string path;  // absolute path of the file or folder
  std::string name;  // member name, '/' separators, no trailing '/'
  bool isFolder = false;
  uint64_t size = 0;
  uint32_t dosTime = 0;
};

struct WriteOptions {
  int level = 5;  // 0 stores, 1 to 9 deflate
  unsigned threads = 0;  // 0: one per processor
  ZipFaults faults;
};

// Where the writer reports: progress in whole percentages of the source bytes (false
// from Progress cancels) and the sources it had to leave out.
class WriteObserver {
 public:
  virtual ~WriteObserver() = default;
  virtual bool Progress(const std::string& item, int percent) = 0;
  virtual void SourceUnreadable(const std::string& path) = 0;
};

// Writes the archive beside its final path and moves it there once complete, so a
// failed run leaves an earlier archive of that name as it was.
ZipResult WriteArchive(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer);

}  // namespace kvxzip
