// The tree of the disc's last session brought into a new session: its folders become
// folders of the new tree, its files stay where they were recorded, and a file or
// folder added for the new session under the same name takes the older one's place.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "base/cp1252.h"
#include "burner/image_layout.h"
#include "burner/iso_records.h"

namespace kvx {
namespace {

constexpr int kDeepestFolder = 64;        // a loop of folders on a damaged disc ends here
constexpr uint16_t kSectorsPerRead = 32;
constexpr size_t kSectorBytes = kSectorSize;
constexpr uint8_t kJolietLevels[3] = {0x40, 0x43, 0x45};  // "%/@", "%/C", "%/E"

uint32_t Little32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

struct SessionRoot {
  uint32_t Extent = 0;
  uint32_t Size = 0;
};

// Identifier of a record without its version (";1") as UTF-16.
std::u16string RecordName(const uint8_t* record, bool joliet) {
  const uint8_t length = record[32];
  const uint8_t* id = record + 33;
  std::u16string name;
  if (joliet)
    for (size_t i = 0; i + 1 < length; i += 2) name += static_cast<char16_t>(id[i] << 8 | id[i + 1]);
  else
    name.assign(id, id + length);
  const size_t version = name.find(u';');
  if (version != std::u16string::npos) name.erase(version);
  return name;
}

TDateTime RecordDate(const uint8_t* date) {
  if (date[1] < 1 || date[1] > 12 || date[2] < 1 || date[2] > 31) return 0;  // not recorded
  return EncodeDateTime(CivilTime{1900 + date[0], date[1], date[2], date[3], date[4], date[5], 0});
}

}  // namespace

// One tree of the earlier session, walked from its root. No two folder records of a sound
// tree share an extent: when they do, the tree is damaged (a folder holding itself, or one
// folder under two names at every level, which would double the walk at each), and the
// walk stops there as it does below the deepest folder.
struct ImageLayout::SessionWalk {
  bool Joliet = false;
  std::unordered_set<uint32_t> FoldersRead;
};

void ImageLayout::ImportSession() {
  uint32_t start = 0;
  if (!device_.ReadLastSessionStart(start) || start >= StartSector) return;
  SessionRoot primary, joliet;
  std::vector<uint8_t> sector(kSectorSize);
  for (uint32_t at = start + 16; at < start + 32; ++at) {
    if (!device_.ReadSectors(at, 1, sector.data()) || std::memcmp(&sector[1], "CD001", 5) != 0 || sector[0] == 255)
      break;
    const SessionRoot root{Little32(&sector[156 + 2]), Little32(&sector[156 + 10])};
    if (sector[0] == 1) primary = root;
    const uint8_t* level = std::find(std::begin(kJolietLevels), std::end(kJolietLevels), sector[90]);
    const bool ucs2 = sector[88] == 0x25 && sector[89] == 0x2F && level != std::end(kJolietLevels);
    if (sector[0] == 2 && ucs2) joliet = root;
  }
  SessionWalk walk;
  walk.Joliet = joliet.Extent != 0;
  const SessionRoot root = walk.Joliet ? joliet : primary;
  if (root.Extent == 0 || !ImportFolder(Directories[0].get(), root.Extent, root.Size, walk, 0)) {
    PreviousSessionUnreadable = true;
    device_.DebugMessage(">>> CAN'T READ THE PREVIOUS SESSION", 0);
  }
}

bool ImageLayout::ImportFolder(TISODirectory* dir, uint32_t extent, uint32_t size, SessionWalk& walk, int depth) {
  if (depth > kDeepestFolder) return false;
  walk.FoldersRead.insert(extent);
  const uint32_t sectors = static_cast<uint32_t>(RoundUpToSectors(size) / kSectorSize);
  if (uint64_t{extent} + sectors > UINT32_MAX) return false;
  // A few sectors at a time: a damaged record can give a folder any size, and the reads
  // end where the disc does. A record never crosses a sector.
  std::vector<uint8_t> records(size_t{kSectorsPerRead} * kSectorSize);
  TISOEntry* last = nullptr;
  for (uint32_t done = 0; done < sectors;) {
    const auto count = static_cast<uint16_t>(std::min<uint32_t>(kSectorsPerRead, sectors - done));
    if (!device_.ReadSectors(extent + done, count, records.data())) return false;
    done += count;
    const size_t end = size_t{count} * kSectorSize;
    for (size_t at = 0; at < end;) {
      const uint8_t length = records[at];
      const size_t inSector = at % kSectorBytes;
      if (length == 0 || inSector + length > kSectorBytes) {  // rest of the sector unused
        at += kSectorBytes - inSector;
        continue;
      }
      if (length < sizeof(DirectoryRecordHead) || records[at + 32] + sizeof(DirectoryRecordHead) > length)
        return false;
      const bool selfOrParent = records[at + 32] == 1 && records[at + 33] <= 1;
      if (!selfOrParent && !ImportRecord(dir, &records[at], walk, last, depth)) return false;
      at += length;
    }
  }
  return true;
}

bool ImageLayout::ImportRecord(TISODirectory* dir, const uint8_t* record, SessionWalk& walk, TISOEntry*& last,
                               int depth) {
  const uint8_t flags = record[25];
  const uint32_t extent = Little32(record + 2), size = Little32(record + 10);
  const std::u16string name = RecordName(record, walk.Joliet);
  if (name.empty()) return true;
  // The further extents of a file above 4 GiB follow the first one on the disc.
  if (last && last->WideName == name) {
    last->ISOSize = last->JolietSize += size;
    if (!(flags & kFlagMultiExtent)) last = nullptr;
    return true;
  }
  last = nullptr;
  TISOEntry* newer = FindWideEntry(dir, name);
  const bool folder = flags & kFlagDirectory;
  if (folder) {
    if (walk.FoldersRead.contains(extent)) return false;
    TISODirectory* into = newer ? newer->Directory : CreateDirectory(dir, UTF16ToCP1252(name), kAttrDirectory, name);
    if (!into) return true;  // a file of the new session took its name, or no room
    return ImportFolder(into, extent, size, walk, depth + 1);
  }
  if (newer || !HasRoomFor(false)) return true;
  TISOEntry* entry = NewEntryRecord();
  AppendToFolder(dir, entry);
  entry->LongName = UTF16ToCP1252(name);
  entry->WideName = name;
  entry->ShortName = ISOShortName(entry->LongName);
  entry->ISOSize = entry->JolietSize = size;
  entry->Attr = kAttrArchive | ((flags & kFlagHidden) ? kAttrHidden : 0);
  entry->DateTime = RecordDate(record + 18);
  entry->GmtOffsetMinutes = static_cast<int8_t>(record[24]) * 15;
  entry->EarlierSession = true;
  entry->SessionExtent = extent;
  entry->NameKey = EntryKey(dir, name);
  IndexEntry(entry);
  if (flags & kFlagMultiExtent) last = entry;
  return true;
}

}  // namespace kvx
