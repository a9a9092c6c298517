// Fixed records of the zip format (PKWARE APPNOTE 6.3): local and central headers,
// end of central directory, and the zip64 end record with its locator. Little-endian.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace kvxzip {

static_assert(std::endian::native == std::endian::little, "records are written as they lie in memory");

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
// Data descriptors; also the first four bytes of a spanned set's first volume.
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
// Starts a set written for spanning that ended on its first volume: one plain archive.
inline constexpr uint32_t kSingleVolumeMarker = 0x30304B50;

inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kZip64ExtraTag = 0x0001;

inline constexpr uint16_t kVersionStored = 10;
inline constexpr uint16_t kVersionDeflated = 20;
inline constexpr uint16_t kVersionZip64 = 45;
// Host 10, Windows NTFS (whose names readers take as they are, UTF-8 when flagged); the low
// byte of the external attributes holds the FAT attributes.
inline constexpr uint16_t kVersionMadeBy = 10 << 8 | 45;

inline constexpr uint32_t kAttributeFolder = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;

inline constexpr uint32_t kMax32 = 0xFFFFFFFF;
inline constexpr uint16_t kMax16 = 0xFFFF;

#pragma pack(push, 1)

struct LocalHeader {
  uint32_t signature;
  uint16_t versionNeeded;
  uint16_t flags;
  uint16_t method;
  uint32_t dosTime;  // time in the low word, date in the high word
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t size;
  uint16_t nameLength;
  uint16_t extraLength;
};
static_assert(sizeof(LocalHeader) == 30);
static_assert(offsetof(LocalHeader, crc) == 14);

struct CentralHeader {
  uint32_t signature;
  uint16_t versionMadeBy;
  uint16_t versionNeeded;
  uint16_t flags;
  uint16_t method;
  uint32_t dosTime;
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t size;
  uint16_t nameLength;
  uint16_t extraLength;
  uint16_t commentLength;
  uint16_t diskStart;
  uint16_t internalAttributes;
  uint32_t externalAttributes;
  uint32_t localHeaderOffset;
};
static_assert(sizeof(CentralHeader) == 46);
static_assert(offsetof(CentralHeader, localHeaderOffset) == 42);

struct EndRecord {
  uint32_t signature;
  uint16_t disk;
  uint16_t centralDisk;
  uint16_t entriesOnDisk;
  uint16_t entries;
  uint32_t centralSize;
  uint32_t centralOffset;
  uint16_t commentLength;
};
static_assert(sizeof(EndRecord) == 22);

struct Zip64EndRecord {
  uint32_t signature;
  uint64_t recordSize;  // of what follows this field: 44
  uint16_t versionMadeBy;
  uint16_t versionNeeded;
  uint32_t disk;
  uint32_t centralDisk;
  uint64_t entriesOnDisk;
  uint64_t entries;
  uint64_t centralSize;
  uint64_t centralOffset;
};
static_assert(sizeof(Zip64EndRecord) == 56);

struct Zip64Locator {
  uint32_t signature;
  uint32_t endDisk;
  uint64_t endOffset;
  uint32_t totalDisks;
};
static_assert(sizeof(Zip64Locator) == 20);

// Zip64 extra field of a local header: both sizes, always.
struct Zip64LocalExtra {
  uint16_t tag;
  uint16_t dataSize;  // 16
  uint64_t size;
  uint64_t compressedSize;
};
static_assert(sizeof(Zip64LocalExtra) == 20);

#pragma pack(pop)

}  // namespace kvxzip
