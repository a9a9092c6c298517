#include "tests/fuzz/iso_checks.h"

#include <cstdint>
#include <set>
#include <string>

#include "burner/iso_records.h"
#include "tests/fuzz/fuzz_support.h"

namespace kvx::fuzz {
namespace {

// What a reader looks a record up by: the identifier without its version, a file's
// trailing dot dropped, ASCII letters folded (Windows ignores case on Joliet discs).
std::string LookupKey(const uint8_t* identifier, size_t length, bool joliet) {
  const size_t unit = joliet ? 2 : 1;
  std::string key(reinterpret_cast<const char*>(identifier), length);
  const std::string version = joliet ? std::string{'\0', ';', '\0', '1'} : std::string(";1");
  if (key.size() >= version.size() && key.ends_with(version)) {
    key.resize(key.size() - version.size());
    const std::string dot = joliet ? std::string{'\0', '.'} : std::string(".");
    if (key.ends_with(dot)) key.resize(key.size() - unit);
  }
  for (size_t i = unit - 1; i < key.size(); i += unit)
    if ((unit == 1 || key[i - 1] == 0) && key[i] >= 'a' && key[i] <= 'z') key[i] = static_cast<char>(key[i] - 32);
  return key;
}

// The records of one folder: each inside the header and inside one sector, and no two
// of them found under one name (the extents of a large file share theirs).
void WalkRecords(const ImageLayout& layout, int64_t position, int64_t size, bool joliet) {
  const int64_t base = int64_t{layout.StartSector} * kSectorSize;
  Expect(position >= base && position + size <= base + int64_t(layout.ImageHeader.size()),
         "a folder's records lie inside the header");
  const uint8_t* records = layout.ImageHeader.data() + (position - base);
  std::set<std::string> names;
  int64_t at = 0;
  while (at < size) {
    const uint8_t length = records[at];
    if (length == 0) {  // the rest of the sector is padding
      at = (at / kSectorSize + 1) * kSectorSize;
      continue;
    }
    Expect(length >= 34 && at % kSectorSize + length <= kSectorSize, "a record lies inside one sector");
    const auto& head = *reinterpret_cast<const DirectoryRecordHead*>(records + at);
    Expect(33u + head.IdentifierLength <= length, "the identifier lies inside its record");
    const bool dotOrDotDot = head.IdentifierLength == 1 && records[at + 33] <= 1;
    const bool moreExtentsFollow = head.Flags & 0x80;
    if (!dotOrDotDot && !moreExtentsFollow)
      Expect(names.insert(LookupKey(records + at + 33, head.IdentifierLength, joliet)).second,
             "no two records of a folder are found under one name");
    at += length;
  }
}

}  // namespace

void CheckImageHeader(const ImageLayout& layout) {
  Expect(int64_t(layout.ImageHeader.size()) == layout.FirstFilePos - int64_t{layout.StartSector} * kSectorSize,
         "the header ends where the file data starts");
  for (const auto& folder : layout.Directories) {
    WalkRecords(layout, layout.ISODirRecordsPos + int64_t{folder->ISOSector} * kSectorSize, folder->ISOSize,
                false);
    if (layout.JolietFileSystem)
      WalkRecords(layout, layout.JolietDirRecordsPos + int64_t{folder->JolietSector} * kSectorSize,
                  folder->JolietSize, true);
  }
}

}  // namespace kvx::fuzz
