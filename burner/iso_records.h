// ISO 9660 / Joliet byte layouts: volume descriptors, directory and path table records,
// both-endian fields, date fields and identifier encodings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/date_time.h"

namespace kvx {

inline constexpr int64_t kSectorSize = 2048;
// Largest extent of a multi-extent file: the 32-bit data length rounded down to sectors.
inline constexpr int64_t kMaxExtentBytes = 0xFFFFF800LL;

#pragma pack(push, 1)
struct VolumeDescriptor {
  uint8_t Type;
  char Identifier[5];
  uint8_t Version;
  uint8_t Unused1;
  char SystemId[32];
  char VolumeId[32];
  uint8_t Unused2[8];
  uint8_t SpaceSize[8];
  uint8_t EscapeSequences[32];
  uint8_t SetSize[4];
  uint8_t SequenceNumber[4];
  uint8_t BlockSize[4];
  uint8_t PathTableSize[8];
  uint8_t PathTableL[4];
  uint8_t OptionalPathTableL[4];
  uint8_t PathTableM[4];
  uint8_t OptionalPathTableM[4];
  uint8_t RootRecord[34];
  char VolumeSetId[128];
  char PublisherId[128];
  char PreparerId[128];
  char ApplicationId[128];
  char CopyrightFile[37];
  char AbstractFile[37];
  char BibliographicFile[37];
  char CreationDate[17];
  char ModificationDate[17];
  char ExpirationDate[17];
  char EffectiveDate[17];
  uint8_t FileStructureVersion;
  uint8_t Unused3;
  uint8_t ApplicationUse[512];
  uint8_t Reserved[653];
};

// Fixed part of a directory record; the identifier and its padding byte follow.
struct DirectoryRecordHead {
  uint8_t Length;
  uint8_t ExtendedAttributeLength;
  uint8_t Extent[8];
  uint8_t DataLength[8];
  uint8_t RecordingDate[7];
  uint8_t Flags;
  uint8_t FileUnitSize;
  uint8_t InterleaveGap;
  uint8_t VolumeSequenceNumber[4];
  uint8_t IdentifierLength;
};

// Fixed part of a path table record; the identifier and its padding byte follow.
struct PathTableRecordHead {
  uint8_t IdentifierLength;
  uint8_t ExtendedAttributeLength;
  uint8_t Extent[4];
  uint8_t ParentNumber[2];
};
#pragma pack(pop)

static_assert(sizeof(VolumeDescriptor) == 2048);
static_assert(offsetof(VolumeDescriptor, SpaceSize) == 80);
static_assert(offsetof(VolumeDescriptor, EscapeSequences) == 88);
static_assert(offsetof(VolumeDescriptor, SetSize) == 120);
static_assert(offsetof(VolumeDescriptor, PathTableSize) == 132);
static_assert(offsetof(VolumeDescriptor, PathTableM) == 148);
static_assert(offsetof(VolumeDescriptor, RootRecord) == 156);
static_assert(offsetof(VolumeDescriptor, VolumeSetId) == 190);
static_assert(offsetof(VolumeDescriptor, CopyrightFile) == 702);
static_assert(offsetof(VolumeDescriptor, CreationDate) == 813);
static_assert(offsetof(VolumeDescriptor, FileStructureVersion) == 881);
static_assert(offsetof(VolumeDescriptor, ApplicationUse) == 883);
static_assert(sizeof(DirectoryRecordHead) == 33);
static_assert(offsetof(DirectoryRecordHead, RecordingDate) == 18);
static_assert(offsetof(DirectoryRecordHead, Flags) == 25);
static_assert(offsetof(DirectoryRecordHead, VolumeSequenceNumber) == 28);
static_assert(sizeof(PathTableRecordHead) == 8);

inline constexpr uint8_t kFlagHidden = 0x01;
inline constexpr uint8_t kFlagDirectory = 0x02;
inline constexpr uint8_t kFlagMultiExtent = 0x80;

void PutLittle16(uint8_t* out, uint16_t value);
void PutBig16(uint8_t* out, uint16_t value);
void PutLittle32(uint8_t* out, uint32_t value);
void PutBig32(uint8_t* out, uint32_t value);
// ISO 9660 "both-byte orders": little-endian then big-endian.
void PutBoth16(uint8_t* out, uint16_t value);
void PutBoth32(uint8_t* out, uint32_t value);

// Record lengths: 33 + identifier + one padding byte for an even identifier length.
inline size_t DirectoryRecordLength(size_t identifier_length) {
  return sizeof(DirectoryRecordHead) + identifier_length + (identifier_length % 2 == 0 ? 1 : 0);
}
inline size_t PathTableRecordLength(size_t identifier_length) {
  return sizeof(PathTableRecordHead) + identifier_length + identifier_length % 2;
}

inline int64_t RoundUpToSectors(int64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize * kSectorSize; }

// Text field of a descriptor: ASCII upper case (primary) or UTF-16 big-endian with case
// kept (Joliet), space-padded to the field, cut when longer.
void PutPrimaryText(char* field, size_t size, std::string_view text);
void PutJolietText(char* field, size_t size, std::string_view text);

// A Windows-1252 or UTF-16 text as UTF-16 big-endian bytes.
std::string UTF16BigEndian(std::string_view text);
std::string UTF16BigEndian(std::u16string_view text);
// Upper case, every character but A-Z and 0-9 replaced by "_" (an identifier field).
std::string DCharacters(std::string_view text);

// Descriptor date "yyyymmddhhnnsscc" (cc: hundredths) of a local time, followed by the
// offset from GMT in effect then (15-minute units); a date of 0 is written as not
// specified (all digits zero, offset 0).
void PutDescriptorDate(char* field, TDateTime value);
// Recording date of a directory record: years since 1900, month, day, hour, minute,
// second, then the offset from GMT in 15-minute units.
void PutRecordingDate(uint8_t* field, const CivilTime& local, int gmt_offset_minutes);

}  // namespace kvx
