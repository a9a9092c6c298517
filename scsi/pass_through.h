// The pass-through emulation: the two ASPI entry points answered by sending each
// request to the unit's volume with IOCTL_SCSI_PASS_THROUGH_DIRECT. Units are found
// once per initialisation by probing the CD/DVD volumes C: to Z:. Portable: the
// volume calls go through VolumeSystem.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "scsi/transport.h"

namespace kvx::scsi {

inline constexpr uint8_t kNoAddressLun = 250;  // a unit without SCSI address, until enumeration ends

struct SPTIDeviceEntry {
  uint8_t adapter = 0;
  uint8_t target = 0;
  uint8_t lun = 0;
  uint8_t letter = 0;  // drive letter number, 0 = A:
  bool present = false;
  ScopedVolume volume;  // open while commands reach the unit
  std::array<uint8_t, 68> inquiry{};  // the first 40 bytes of the unit's INQUIRY answer
};

struct SPTIDeviceTable {
  uint8_t count = 0;  // emulated host adapters
  std::array<SPTIDeviceEntry, 27> entries{};  // indexed by drive letter number
};

class PassThroughTransport : public SCSITransport {
 public:
  // closeAfterCommand: whether a unit's handle is closed after each command.
  PassThroughTransport(VolumeSystem& volumes, const std::atomic<bool>& closeAfterCommand);

  // Probes the volumes and fills the table; returns the number of units.
  int BuildTable();
  const SPTIDeviceTable& Table() const { return table_; }

  uint32_t SupportInfo() override;
  uint32_t SendCommand(void* srb) override;
  std::unique_ptr<CompletionEvent> NewCompletionEvent() override;

 private:
  uint8_t HostAdapterInquiry(void* srb);
  uint8_t DeviceType(void* srb);
  uint8_t Execute(void* srb);
  uint8_t SendToUnit(SPTIDeviceEntry& entry, void* srb);
  SPTIDeviceEntry* FindUnit(uint8_t adapter, uint8_t target, uint8_t lun);
  bool ProbeVolume(uint8_t letter, SPTIDeviceEntry& entry, uint8_t& virtualTarget);

  VolumeSystem& volumes_;
  const std::atomic<bool>& closeAfterCommand_;
  SPTIDeviceTable table_;
};

// Opens a volume ("\\.\X:") for reading and writing, else for reading only.
ScopedVolume OpenVolume(VolumeSystem& volumes, char letter);

// The drive letter of the volume whose SCSI address has this port and target
// (volumes B: to Z:), or 0 when none has.
char VolumeLetterOf(VolumeSystem& volumes, uint8_t adapter, uint8_t target);

}  // namespace kvx::scsi
