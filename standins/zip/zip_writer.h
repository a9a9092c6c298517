// Writes a new zip archive from a list of sources: members compressed in parallel and
// written in order, zip64 records where sizes, offsets or the entry count need them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standins/zip/zip_faults.h"
#include "standins/zip/zip_model.h"
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
  // Careless: no flush, sources it cannot read left out or cut short without a word, a
  // refused write (a full disk) taken for success.
  LibraryModel model = LibraryModel::Plain;
};

enum class SourceFailure { Open, Read };

// Where the writer reports: progress in whole percentages of the source bytes (false
// from Progress cancels), the sources it could not read whole, with the system's
// reason.
class WriteObserver {
 public:
  virtual ~WriteObserver() = default;
  virtual bool Progress(const std::string& item, int percent) = 0;
  virtual void SourceFailed(const std::string& path, SourceFailure failure, const std::string& reason) = 0;
};

// Where the records of an archive go: one file, or the volumes of a spanned set.
class ArchiveOutput {
 public:
  virtual ~ArchiveOutput() = default;
  // Appends bytes; a spanned output may split them between volumes.
  virtual bool Write(const void* data, size_t size) = 0;
  // Makes the next size bytes land on one volume: a record that may not straddle two.
  virtual bool KeepTogether(uint64_t size) = 0;
  virtual uint64_t Position() const = 0;  // in the current volume
  virtual uint32_t Volume() const = 0;    // 0 for the first
  // False where earlier bytes may be out of reach (on a diskette taken out): members
  // then carry their CRC and sizes in a data descriptor after their data.
  virtual bool CanPatch() const = 0;
  virtual bool Patch(uint64_t at, const void* data, size_t size) = 0;
  // Why a write failed: the medium refused it, or the person cancelled.
  virtual ZipResult Failure() const { return ZipResult::CannotWrite; }
};

// Writes the archive at archivePath, over any file of that name. A source that cannot be
// read whole gives SourcesSkipped; the plain model then, as after any failure, leaves no
// archive behind.
ZipResult WriteArchive(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer);

// Writes the members and the central directory to an output.
ZipResult WriteArchiveTo(ArchiveOutput& out, const std::vector<SourceEntry>& entries, const WriteOptions& options,
                         WriteObserver& observer);

}  // namespace kvxzip
