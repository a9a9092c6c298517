#include "tests/fuzz/iso_checks.h"

#include <cstdint>

#include "burner/iso_records.h"
#include "tests/fuzz/fuzz_support.h"

namespace kvx::fuzz {
namespace {

// The records of one folder: each inside the header and inside one sector.
void WalkRecords(const ImageLayout& layout, int64_t position, int64_t size) {
  const int64_t base = int64_t{layout.StartSector} * kSectorSize;
  Expect(position >= base && position + size <= base + int64_t(layout.ImageHeader.size()),
         "a folder's records lie inside the header");
  const uint8_t* records = layout.ImageHeader.data() + (position - base);
  int64_t at = 0;
  while (at < size) {
    const uint8_t length = records[at];
    if (length == 0) {  // the rest of the sector is padding
      at = (at / kSectorSize + 1) * kSectorSize;
      continue;
    }
    Expect(length >= 34 && at % kSectorSize + length <= kSectorSize, "a record lies inside one sector");
    Expect(33u + records[at + 32] <= length, "the identifier lies inside its record");
    at += length;
  }
}

}  // namespace

void CheckImageHeader(const ImageLayout& layout) {
  Expect(int64_t(layout.ImageHeader.size()) == layout.FirstFilePos - int64_t{layout.StartSector} * kSectorSize,
         "the header ends where the file data starts");
  for (const auto& folder : layout.Directories) {
    WalkRecords(layout, layout.ISODirRecordsPos + int64_t{folder->ISOSector} * kSectorSize, folder->ISOSize);
    if (layout.JolietFileSystem)
      WalkRecords(layout, layout.JolietDirRecordsPos + int64_t{folder->JolietSector} * kSectorSize,
                  folder->JolietSize);
  }
}

}  // namespace kvx::fuzz
