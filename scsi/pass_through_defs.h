// The structures and control codes of the NT SCSI pass-through interface used by the
// pass-through emulation. Their layouts are the system's natural-alignment ones,
// written out field by field (explicit padding) and checked for both pointer sizes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvx::scsi {

inline constexpr uint32_t IOCTL_SCSI_PASS_THROUGH_DIRECT = 0x0004D014;
inline constexpr uint32_t IOCTL_SCSI_GET_ADDRESS = 0x00041018;

inline constexpr uint8_t SCSI_IOCTL_DATA_OUT = 0;
inline constexpr uint8_t SCSI_IOCTL_DATA_IN = 1;
inline constexpr uint8_t SCSI_IOCTL_DATA_UNSPECIFIED = 2;

inline constexpr unsigned DRIVE_CDROM = 5;

// CreateFileA arguments used to open a volume.
inline constexpr uint32_t GENERIC_READ_ACCESS = 0x80000000;
inline constexpr uint32_t GENERIC_WRITE_ACCESS = 0x40000000;
inline constexpr uint32_t FILE_SHARE_READ_MODE = 0x00000001;
inline constexpr uint32_t FILE_SHARE_WRITE_MODE = 0x00000002;
inline constexpr uint32_t OPEN_EXISTING_DISPOSITION = 3;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL_FLAG = 0x00000080;

#pragma pack(push, 1)

struct SCSI_PASS_THROUGH_DIRECT {
  uint16_t Length;
  uint8_t SCSIStatus;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
  uint8_t CDBLength;
  uint8_t SenseInfoLength;
  uint8_t DataIn;
  uint8_t AlignLength[3];
  uint32_t DataTransferLength;
  uint32_t TimeOutValue;
#if UINTPTR_MAX > 0xFFFFFFFF
  uint32_t AlignBuffer;
#endif
  void* DataBuffer;
  uint32_t SenseInfoOffset;
  uint8_t Cdb[16];
#if UINTPTR_MAX > 0xFFFFFFFF
  uint32_t AlignEnd;
#endif
};

// The request the emulation hands to the driver: the structure, then room for 32
// sense bytes at SenseInfoOffset.
struct PassThroughWithSense {
  SCSI_PASS_THROUGH_DIRECT Sptd;
  uint32_t Filler;
  uint8_t SenseBuf[32];
#if UINTPTR_MAX > 0xFFFFFFFF
  uint32_t AlignEnd;
#endif
};

struct SCSI_ADDRESS {
  uint32_t Length;
  uint8_t PortNumber;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
};

#pragma pack(pop)

static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SCSIStatus) == 2);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == 8);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == 16);
static_assert(sizeof(SCSI_ADDRESS) == 8);
#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(offsetof(PassThroughWithSense, SenseBuf) == 48);
static_assert(sizeof(PassThroughWithSense) == 80);
#else
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 32);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 36);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(offsetof(PassThroughWithSense, SenseBuf) == 60);
static_assert(sizeof(PassThroughWithSense) == 96);
#endif

}  // namespace kvx::scsi
