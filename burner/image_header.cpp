// Rendering of the image header: system area, volume descriptors, path tables,
// directory records and the padding up to the first file.
#include <algorithm>
#include <cstring>

#include "base/local_time.h"
#include "burner/image_layout.h"
#include "burner/iso_records.h"

namespace kvx {
namespace {

constexpr uint8_t kJolietEscape[3] = {0x25, 0x2F, 0x40};  // "%/@": UCS-2 level 1
constexpr char kNoDate[] = "0000000000000000";

void PadToSector(std::vector<uint8_t>& out) {
  out.resize(static_cast<size_t>(RoundUpToSectors(static_cast<int64_t>(out.size()))), 0);
}

uint32_t SectorOf(int64_t pos) { return static_cast<uint32_t>(pos / kSectorSize); }

// One directory record: fixed head, identifier, padding byte for an even identifier.
struct RecordFields {
  uint32_t Extent = 0;
  uint32_t Length = 0;
  CivilTime Date;
  int GmtOffsetMinutes = 0;
  bool DateSet = true;
  uint8_t Flags = 0;
  std::string_view Identifier;
};

void AppendRecord(std::vector<uint8_t>& out, const RecordFields& fields) {
  const size_t length = DirectoryRecordLength(fields.Identifier.size());
  const size_t used = out.size() % kSectorSize;
  if (used + length > static_cast<size_t>(kSectorSize)) PadToSector(out);
  const size_t start = out.size();
  out.resize(start + length, 0);
  auto* head = reinterpret_cast<DirectoryRecordHead*>(out.data() + start);
  head->Length = static_cast<uint8_t>(length);
  PutBoth32(head->Extent, fields.Extent);
  PutBoth32(head->DataLength, fields.Length);
  if (fields.DateSet) PutRecordingDate(head->RecordingDate, fields.Date, fields.GmtOffsetMinutes);
  head->Flags = fields.Flags;
  PutBoth16(head->VolumeSequenceNumber, 1);
  head->IdentifierLength = static_cast<uint8_t>(fields.Identifier.size());
  std::memcpy(out.data() + start + sizeof(DirectoryRecordHead), fields.Identifier.data(), fields.Identifier.size());
}

void AppendPathRecord(std::vector<uint8_t>& out, std::string_view identifier, uint32_t extent, uint16_t parent,
                      bool bigEndian) {
  const size_t start = out.size();
  out.resize(start + PathTableRecordLength(identifier.size()), 0);
  auto* head = reinterpret_cast<PathTableRecordHead*>(out.data() + start);
  head->IdentifierLength = static_cast<uint8_t>(identifier.size());
  bigEndian ? PutBig32(head->Extent, extent) : PutLittle32(head->Extent, extent);
  bigEndian ? PutBig16(head->ParentNumber, parent) : PutLittle16(head->ParentNumber, parent);
  std::memcpy(out.data() + start + sizeof(PathTableRecordHead), identifier.data(), identifier.size());
}

const std::string_view kDotIdentifier("\0", 1);
const std::string_view kDotDotIdentifier("\1", 1);

}  // namespace

void ImageLayout::WriteVolumeDescriptor(bool joliet, const ZonedTime& now) {
  VolumeDescriptor vd{};
  vd.Type = joliet ? 2 : 1;
  std::memcpy(vd.Identifier, "CD001", 5);
  vd.Version = 1;
  auto text = joliet ? PutJolietText : PutPrimaryText;
  text(vd.SystemId, sizeof vd.SystemId, IdSystem);
  text(vd.VolumeId, sizeof vd.VolumeId, joliet ? IdVolume : DCharacters(IdVolume));
  // The volume of a later session spans the disc from sector 0 (its extents are
  // absolute), so its size is the end of this track, not the track's length.
  PutBoth32(vd.SpaceSize, static_cast<uint32_t>(EndSector));
  // Only the supplementary descriptor names the UCS-2 escape: readers that meet it in
  // the primary descriptor take the ISO 9660 tree for the Joliet one.
  if (joliet) std::memcpy(vd.EscapeSequences, kJolietEscape, sizeof kJolietEscape);
  PutBoth16(vd.SetSize, 1);
  PutBoth16(vd.SequenceNumber, 1);
  PutBoth16(vd.BlockSize, static_cast<uint16_t>(kSectorSize));
  PutBoth32(vd.PathTableSize, static_cast<uint32_t>(joliet ? JolietPathTableSize : ISOPathTableSize));
  PutLittle32(vd.PathTableL, SectorOf(joliet ? JolietPathTableLPos : ISOPathTableLPos));
  PutBig32(vd.PathTableM, SectorOf(joliet ? JolietPathTableMPos : ISOPathTableMPos));

  const TISODirectory& root = *Directories[0];
  auto* record = reinterpret_cast<DirectoryRecordHead*>(vd.RootRecord);
  record->Length = 34;
  PutBoth32(record->Extent, SectorOf(joliet ? JolietDirRecordsPos : ISODirRecordsPos));
  PutBoth32(record->DataLength, static_cast<uint32_t>(joliet ? root.JolietSize : root.ISOSize));
  record->Flags = kFlagDirectory;
  PutBoth16(record->VolumeSequenceNumber, 1);
  PutRecordingDate(record->RecordingDate, now.Local, now.GmtOffsetMinutes);
  record->IdentifierLength = 1;

  text(vd.VolumeSetId, sizeof vd.VolumeSetId, IdVolumeSet);
  text(vd.PublisherId, sizeof vd.PublisherId, IdPublisher);
  text(vd.PreparerId, sizeof vd.PreparerId, IdPreparer);
  text(vd.ApplicationId, sizeof vd.ApplicationId, IdApplication);
  // Joliet file identifiers take 18 characters; the 37th byte stays zero.
  const size_t fileId = joliet ? 36 : 37;
  text(vd.CopyrightFile, fileId, FileCopyright);
  text(vd.AbstractFile, fileId, FileAbstract);
  text(vd.BibliographicFile, fileId, FileBibliographic);
  PutDescriptorDate(vd.CreationDate, DateCreation);
  PutDescriptorDate(vd.ModificationDate, DateModification);
  std::memcpy(vd.ExpirationDate, kNoDate, 16);
  std::memcpy(vd.EffectiveDate, kNoDate, 16);
  vd.FileStructureVersion = 1;
  std::memset(vd.ApplicationUse + (1024 - offsetof(VolumeDescriptor, ApplicationUse)), ' ', 8);

  const auto* bytes = reinterpret_cast<const uint8_t*>(&vd);
  ImageHeader.insert(ImageHeader.end(), bytes, bytes + sizeof vd);
}

void ImageLayout::WritePathTable(bool joliet, bool bigEndian) {
  const std::vector<TISODirectory*>& order = joliet ? JolietPathOrder : ISOPathOrder;
  const uint32_t area = SectorOf(joliet ? JolietDirRecordsPos : ISODirRecordsPos);
  AppendPathRecord(ImageHeader, kDotIdentifier, area, 1, bigEndian);
  for (size_t i = 1; i < order.size(); ++i) {
    const TISODirectory& dir = *order[i];
    const uint32_t extent = area + (joliet ? dir.JolietSector : dir.ISOSector);
    const auto parent = static_cast<uint16_t>(joliet ? dir.Parent->JolietNumber : dir.Parent->Number);
    if (joliet)
      AppendPathRecord(ImageHeader, UTF16BigEndian(dir.JolietName), extent, parent, bigEndian);
    else
      AppendPathRecord(ImageHeader, dir.ShortName, extent, parent, bigEndian);
  }
  PadToSector(ImageHeader);
}

void ImageLayout::WriteDirectoryRecords(const TISODirectory& dir, bool joliet, const ZonedTime& now) {
  const uint32_t area = SectorOf(joliet ? JolietDirRecordsPos : ISODirRecordsPos);
  const uint32_t firstFile = SectorOf(FirstFilePos);
  auto ownSector = [&](const TISODirectory& d) { return area + (joliet ? d.JolietSector : d.ISOSector); };
  auto ownSize = [&](const TISODirectory& d) { return static_cast<uint32_t>(joliet ? d.JolietSize : d.ISOSize); };

  RecordFields dot{ownSector(dir), ownSize(dir), now.Local, GMTOffset * 15, true, kFlagDirectory, kDotIdentifier};
  AppendRecord(ImageHeader, dot);
  dot.Extent = ownSector(*dir.Parent);
  dot.Length = ownSize(*dir.Parent);
  dot.Identifier = kDotDotIdentifier;
  AppendRecord(ImageHeader, dot);

  std::string identifier;
  for (const TISOEntry* entry : joliet ? dir.JolietOrder : dir.ISOOrder) {
    const bool folder = entry->Directory != nullptr;
    identifier = joliet ? UTF16BigEndian(folder ? entry->JolietName : entry->JolietName + u";1")
                        : (folder ? entry->ShortName : entry->ShortName + ";1");
    RecordFields fields;
    fields.Date = DecodeDateTime(entry->DateTime);
    fields.GmtOffsetMinutes = entry->GmtOffsetMinutes;
    fields.Identifier = identifier;
    fields.Flags = (folder ? kFlagDirectory : 0) | ((entry->Attr & kAttrHidden) ? kFlagHidden : 0);
    const int64_t size = joliet ? entry->JolietSize : entry->ISOSize;
    if (folder) {
      fields.Extent = area + (joliet ? entry->JolietExtent : entry->ISOExtent);
      fields.Length = static_cast<uint32_t>(size);
      AppendRecord(ImageHeader, fields);
      continue;
    }
    // A file above the 32-bit length field is recorded as consecutive extents, every
    // record but the last one flagged multi-extent.
    int64_t remaining = size;
    uint32_t extent = size == 0                ? 0
                      : entry->EarlierSession ? entry->SessionExtent
                                              : firstFile + (joliet ? entry->JolietExtent : entry->ISOExtent);
    do {
      const int64_t part = std::min(remaining, kMaxExtentBytes);
      remaining -= part;
      fields.Extent = extent;
      fields.Length = static_cast<uint32_t>(part);
      fields.Flags = static_cast<uint8_t>((fields.Flags & ~kFlagMultiExtent) | (remaining > 0 ? kFlagMultiExtent : 0));
      AppendRecord(ImageHeader, fields);
      extent += static_cast<uint32_t>(part / kSectorSize);
    } while (remaining > 0);
  }
  PadToSector(ImageHeader);
}

void ImageLayout::WriteImageHeader() {
  ImageHeader.reserve(ImageHeader.size() + static_cast<size_t>(FirstFilePos - StartSector * kSectorSize));
  ImageHeader.resize(ImageHeader.size() + 16 * kSectorSize, 0);
  const ZonedTime now = LocalNow();
  WriteVolumeDescriptor(false, now);
  if (JolietFileSystem) WriteVolumeDescriptor(true, now);
  const size_t terminator = ImageHeader.size();
  ImageHeader.resize(terminator + kSectorSize, 0);
  ImageHeader[terminator] = 255;
  std::memcpy(&ImageHeader[terminator + 1], "CD001", 5);
  ImageHeader[terminator + 6] = 1;

  WritePathTable(false, false);
  WritePathTable(false, true);
  if (JolietFileSystem) {
    WritePathTable(true, false);
    WritePathTable(true, true);
  }
  for (const auto& dir : Directories) WriteDirectoryRecords(*dir, false, now);
  if (JolietFileSystem)
    for (const auto& dir : Directories) WriteDirectoryRecords(*dir, true, now);
  if (HeaderPadding >= kSectorSize)  // below the first file's least position, 150 sectors
    ImageHeader.resize(ImageHeader.size() + static_cast<size_t>(HeaderPadding / kSectorSize * kSectorSize), 0);
  device_.SetDoDebug(true);
}

}  // namespace kvx
