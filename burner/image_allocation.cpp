// Numbering of the folders in path-table order and allocation of the track's sectors.
#include <algorithm>

#include "burner/image_layout.h"
#include "burner/iso_records.h"

namespace kvx {
namespace {

constexpr int64_t kSystemAreaBytes = 16 * kSectorSize;
constexpr int64_t kFirstFileMinPos = 150 * kSectorSize;  // file data never starts before sector 150
constexpr int64_t kPostGapSectors = 300;
constexpr uint32_t kHighestStartSector = 0xFF000000u;

bool IsFile(const TISOEntry& entry) { return entry.Directory == nullptr; }

// Directory records a file takes: one per extent of at most kMaxExtentBytes.
int64_t ExtentCount(int64_t size) { return size <= kMaxExtentBytes ? 1 : (size + kMaxExtentBytes - 1) / kMaxExtentBytes; }

size_t IdentifierLength(const TISOEntry& entry, bool joliet) {
  const size_t chars = (joliet ? entry.JolietName.size() : entry.ShortName.size()) + (IsFile(entry) ? 2 : 0);
  return joliet ? 2 * chars : chars;
}

}  // namespace

void ImageLayout::BuildImage(bool skipDiscQuery) {
  ImageHeader.clear();  // a second build replaces the first one's header
  ComputeLayout(skipDiscQuery);
  WriteImageHeader();
}

int64_t ImageLayout::GetTrackSize() const {
  return WritePostGap && TrackSectors < kPostGapSectors ? kPostGapSectors : TrackSectors;
}

void ImageLayout::QueryDisc() {
  DiscType = device_.GetDiscType();
  using scsi::DiscKind;
  const DiscKind noAddressQuery[] = {DiscKind::DVDMinusR, DiscKind::DVDRAM, DiscKind::DVDMinusRW, DiscKind::DVDPlusRW,
                                       DiscKind::DVDPlusR};
  if (std::find(std::begin(noAddressQuery), std::end(noAddressQuery), DiscType) == std::end(noAddressQuery)) {
    uint32_t next = 0;
    if (device_.ReadNextWritableAddress(next)) {
      StartSector = next;
    } else {
      StartSector = 0;
      device_.DebugMessage(">>> ERROR GETTING NEXT WRITABLE ADDRESS", 0);
    }
  }
  if (StartSector > kHighestStartSector) StartSector = 0;
}

int64_t ImageLayout::PathTableSize(bool joliet) const {
  int64_t size = static_cast<int64_t>(PathTableRecordLength(1));
  for (size_t i = 1; i < Directories.size(); ++i) {
    const TISODirectory& dir = *Directories[i];
    size += static_cast<int64_t>(joliet ? PathTableRecordLength(2 * dir.JolietName.size())
                                        : PathTableRecordLength(dir.ShortName.size()));
  }
  return size;
}

// "." and ".." fill the first 68 bytes; a record that does not fit into the rest of a
// sector starts the next one.
int64_t ImageLayout::FolderRecordsSize(const TISODirectory& dir, bool joliet) const {
  int64_t sectors = 1;
  int64_t used = 2 * 34;
  for (const TISOEntry* entry : joliet ? dir.JolietOrder : dir.ISOOrder) {
    const int64_t length = static_cast<int64_t>(DirectoryRecordLength(IdentifierLength(*entry, joliet)));
    const int64_t records = IsFile(*entry) ? ExtentCount(entry->ISOSize) : 1;
    for (int64_t r = 0; r < records; ++r) {
      if (used + length > kSectorSize) {
        ++sectors;
        used = 0;
      }
      used += length;
    }
  }
  return sectors * kSectorSize;
}

int64_t ImageLayout::AllocateDirectoryRecords(bool joliet) {
  int64_t total = 0;
  for (const auto& dir : Directories) {
    const int64_t size = FolderRecordsSize(*dir, joliet);
    (joliet ? dir->JolietSize : dir->ISOSize) = size;
    (joliet ? dir->JolietSector : dir->ISOSector) = static_cast<uint32_t>(total / kSectorSize);
    total += size;
  }
  return total;
}

void ImageLayout::AssignFileExtents() {
  int64_t running = 0;
  for (const auto& entry : Entries) {
    if (entry->Directory) {
      entry->ISOExtent = entry->Directory->ISOSector;
      entry->JolietExtent = entry->Directory->JolietSector;
      entry->ISOSize = entry->Directory->ISOSize;
      entry->JolietSize = entry->Directory->JolietSize;
    } else if (entry->EarlierSession) {
      continue;  // its data is on the disc already
    } else if (entry->ISOSize == 0) {
      entry->ISOExtent = entry->JolietExtent = 0;
      entry->JolietSize = 0;
    } else {
      entry->ISOExtent = entry->JolietExtent = static_cast<uint32_t>(running);
      running += RoundUpToSectors(entry->ISOSize) / kSectorSize;
    }
  }
  FileSectors = running;
}

void ImageLayout::ComputeLayout(bool skipDiscQuery) {
  device_.SetDoDebug(false);
  StartSector = 0;
  PreviousSessionUnreadable = false;
  if (!skipDiscQuery) QueryDisc();
  // Only a session after others: on a disc written from sector 0 the old tree is overwritten.
  if (!skipDiscQuery && ImportPreviousSession && StartSector > 0) ImportSession();
  for (const auto& dir : Directories) AssignIdentifiers(*dir);
  NumberDirectories(false);
  NumberDirectories(true);

  int64_t p = static_cast<int64_t>(StartSector) * kSectorSize + kSystemAreaBytes;
  PrimaryDescriptorPos = p;
  p += kSectorSize;
  if (JolietFileSystem) {
    JolietDescriptorPos = p;
    p += kSectorSize;
  }
  TerminatorPos = p;
  p += kSectorSize;
  ISOPathTableSize = PathTableSize(false);
  ISOPathTableLPos = p;
  p += RoundUpToSectors(ISOPathTableSize);
  ISOPathTableMPos = p;
  p += RoundUpToSectors(ISOPathTableSize);
  if (JolietFileSystem) {
    JolietPathTableSize = PathTableSize(true);
    JolietPathTableLPos = p;
    p += RoundUpToSectors(JolietPathTableSize);
    JolietPathTableMPos = p;
    p += RoundUpToSectors(JolietPathTableSize);
  }
  ISODirRecordsPos = p;
  ISODirRecordsSize = AllocateDirectoryRecords(false);
  p += ISODirRecordsSize;
  if (JolietFileSystem) {
    JolietDirRecordsPos = p;
    JolietDirRecordsSize = AllocateDirectoryRecords(true);
    p += JolietDirRecordsSize;
  }
  HeaderPadding = kFirstFileMinPos - p;
  if (p < kFirstFileMinPos) p = kFirstFileMinPos;
  FirstFilePos = p;

  AssignFileExtents();
  EndSector = (p + FileSectors * kSectorSize + kSectorSize - 1) / kSectorSize;
  TrackSectors = EndSector - StartSector;
}

}  // namespace kvx
