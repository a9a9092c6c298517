// The request blocks, codes and flags of the ASPI for Win32 interface, shared by the
// command layer, the transports and the ASPI manager stand-in. The 32-bit build checks
// the published layouts; the 64-bit build keeps the field order with 8-byte pointers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kvx::scsi {

// SRB_Cmd values.
inline constexpr uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr uint8_t SC_GET_DEV_TYPE = 0x01;
inline constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr uint8_t SC_ABORT_SRB = 0x03;
inline constexpr uint8_t SC_GET_DISK_INFO = 0x06;

// SRB_Status values.
inline constexpr uint8_t SS_PENDING = 0x00;
inline constexpr uint8_t SS_COMP = 0x01;
inline constexpr uint8_t SS_ABORTED = 0x02;
inline constexpr uint8_t SS_ABORT_FAIL = 0x03;
inline constexpr uint8_t SS_ERR = 0x04;
inline constexpr uint8_t SS_INVALID_CMD = 0x80;
inline constexpr uint8_t SS_INVALID_HA = 0x81;
inline constexpr uint8_t SS_NO_DEVICE = 0x82;
inline constexpr uint8_t SS_INVALID_SRB = 0xE0;
inline constexpr uint8_t SS_BUFFER_ALIGN = 0xE1;
inline constexpr uint8_t SS_ILLEGAL_MODE = 0xE2;
inline constexpr uint8_t SS_FAILED_INIT = 0xE4;
inline constexpr uint8_t SS_ASPI_IS_BUSY = 0xE5;
inline constexpr uint8_t SS_BUFFER_TO_BIG = 0xE6;
inline constexpr uint8_t SS_NO_ADAPTERS = 0xE8;

// SRB_HaStat values.
inline constexpr uint8_t HASTAT_OK = 0x00;
inline constexpr uint8_t HASTAT_TIMEOUT = 0x09;
inline constexpr uint8_t HASTAT_COMMAND_TIMEOUT = 0x0B;
inline constexpr uint8_t HASTAT_MESSAGE_REJECT = 0x0D;
inline constexpr uint8_t HASTAT_BUS_RESET = 0x0E;
inline constexpr uint8_t HASTAT_PARITY_ERROR = 0x0F;
inline constexpr uint8_t HASTAT_REQUEST_SENSE_FAILED = 0x10;
inline constexpr uint8_t HASTAT_SEL_TO = 0x11;
inline constexpr uint8_t HASTAT_DO_DU = 0x12;
inline constexpr uint8_t HASTAT_BUS_FREE = 0x13;

// SCSI status bytes (SRB_TargStat).
inline constexpr uint8_t STATUS_GOOD = 0x00;
inline constexpr uint8_t STATUS_CHKCOND = 0x02;
inline constexpr uint8_t STATUS_BUSY = 0x08;
inline constexpr uint8_t STATUS_RESCONF = 0x18;
inline constexpr uint8_t STATUS_QUEUE_FULL = 0x28;

// SRB_Flags bits.
inline constexpr uint8_t SRB_DIR_IN = 0x08;
inline constexpr uint8_t SRB_DIR_OUT = 0x10;
inline constexpr uint8_t SRB_EVENT_NOTIFY = 0x40;

// Sense bytes the ASPI layer asks for (SRB_SenseLen).
inline constexpr uint8_t SENSE_LEN = 14;

#pragma pack(push, 1)

struct SRB_Header {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t HA_Count;
  uint8_t HA_SCSI_ID;
  char HA_ManagerId[16];
  char HA_Identifier[16];
  uint8_t HA_Unique[16];
  uint16_t HA_Rsvd1;
};

struct SRB_GDEVBlock {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t SRB_Target;
  uint8_t SRB_Lun;
  uint8_t SRB_DeviceType;
  uint8_t SRB_Rsvd1;
};

// SRB_ExecSCSICmd with a sense area of SenseBytes; the published block has 16.
template <size_t SenseBytes>
struct ExecSCSICmdBlock {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t SRB_Target;
  uint8_t SRB_Lun;
  uint16_t SRB_Rsvd1;
  uint32_t SRB_BufLen;
  uint8_t* SRB_BufPointer;
  uint8_t SRB_SenseLen;
  uint8_t SRB_CDBLen;
  uint8_t SRB_HaStat;
  uint8_t SRB_TargStat;
  void* SRB_PostProc;
  uint8_t SRB_Rsvd2[20];
  uint8_t CDBByte[16];
  uint8_t SenseArea[SenseBytes];
};

using SRB_ExecSCSICmd = ExecSCSICmdBlock<SENSE_LEN + 2>;

// The engine's request: the execute block in 97 zeroed bytes (32-bit), so that the
// transport's sense bytes beyond SRB_SenseLen (up to 32 from the pass-through) fit.
using SCSIRequest = ExecSCSICmdBlock<33>;

struct SRB_Abort {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  void* SRB_ToAbort;
};

struct SRB_GetDiskInfo {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t SRB_Target;
  uint8_t SRB_Lun;
  uint8_t SRB_DriveFlags;
  uint8_t SRB_Int13HDriveInfo;  // drive number, 0 = A:
  uint8_t SRB_Heads;
  uint8_t SRB_Sectors;
  uint8_t SRB_Rsvd1[10];
};

#pragma pack(pop)

// SRB_Status of an execute block: a transport may complete the request on its own
// thread, storing the status last (release) for the waiting side (acquire).
template <size_t SenseBytes>
uint8_t LoadSRBStatus(ExecSCSICmdBlock<SenseBytes>& block) {
  return std::atomic_ref<uint8_t>(block.SRB_Status).load(std::memory_order_acquire);
}
template <size_t SenseBytes>
void StoreSRBStatus(ExecSCSICmdBlock<SenseBytes>& block, uint8_t status) {
  std::atomic_ref<uint8_t>(block.SRB_Status).store(status, std::memory_order_release);
}

inline constexpr size_t kPointerBytes = sizeof(void*);

static_assert(sizeof(SRB_Header) == 8);
static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8);
static_assert(offsetof(SRB_HAInquiry, HA_ManagerId) == 10);
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42);
static_assert(sizeof(SRB_GDEVBlock) == 12);
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10);
static_assert(sizeof(SRB_GetDiskInfo) == 24);
static_assert(offsetof(SRB_GetDiskInfo, SRB_Int13HDriveInfo) == 11);

// Fields after the buffer pointer move by the pointer's extra bytes in the 64-bit build.
inline constexpr size_t kAfterBufPointer = kPointerBytes - 4;
inline constexpr size_t kAfterPostProc = 2 * (kPointerBytes - 4);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20 + kAfterBufPointer);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22 + kAfterBufPointer);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24 + kAfterBufPointer);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48 + kAfterPostProc);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64 + kAfterPostProc);
static_assert(sizeof(SRB_ExecSCSICmd) == 80 + kAfterPostProc);
static_assert(sizeof(SCSIRequest) == 97 + kAfterPostProc);
static_assert(sizeof(SRB_Abort) == 8 + kPointerBytes);
#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(SRB_ExecSCSICmd) == 80 && sizeof(SRB_Abort) == 12,
              "the published 32-bit ASPI layouts");
#endif

}  // namespace kvx::scsi
