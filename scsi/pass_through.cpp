#include "scsi/pass_through.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "scsi/aspi_defs.h"
#include "scsi/mmc_codes.h"
#include "scsi/pass_through_defs.h"

namespace kvx::scsi {
namespace {

constexpr uint32_t kPassThroughTimeoutSeconds = 120;
constexpr uint8_t kFirstProbedLetter = 2;  // C:
constexpr uint8_t kLastLetter = 25;        // Z:
constexpr char kManagerId[16] = {'V', 'T', 'A', 'S', 'P', 'I', '3', '2', ' ',
                                 'E', 'M', 'U', 'L', 'A', 'T', 'E'};

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

// A pass-through request with its sense room, in the layout the driver expects.
PassThroughWithSense NewPassThrough(uint8_t cdbLength, uint8_t senseLength, uint8_t dataIn,
                                    uint32_t transferLength, void* buffer) {
  PassThroughWithSense request{};
  request.Sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
  request.Sptd.CDBLength = cdbLength;
  request.Sptd.SenseInfoLength = senseLength;
  request.Sptd.DataIn = dataIn;
  request.Sptd.DataTransferLength = transferLength;
  request.Sptd.TimeOutValue = kPassThroughTimeoutSeconds;
  request.Sptd.DataBuffer = buffer;
  request.Sptd.SenseInfoOffset = offsetof(PassThroughWithSense, SenseBuf);
  return request;
}

bool SendPassThrough(VolumeSystem& volumes, VolumeSystem::Handle handle, PassThroughWithSense& request) {
  uint32_t returned = 0;
  return volumes.IOControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof(request), &request,
                           sizeof(request), &returned);
}

bool AskAddress(VolumeSystem& volumes, VolumeSystem::Handle handle, SCSI_ADDRESS& address) {
  address = SCSI_ADDRESS{};
  address.Length = sizeof(SCSI_ADDRESS);
  uint32_t returned = 0;
  return volumes.IOControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof(address), &returned);
}

uint8_t DataDirection(uint8_t srbFlags) {
  if (srbFlags & SRB_DIR_IN) return SCSI_IOCTL_DATA_IN;
  if (srbFlags & SRB_DIR_OUT) return SCSI_IOCTL_DATA_OUT;
  return SCSI_IOCTL_DATA_UNSPECIFIED;
}

uint8_t HighestAdapterCount(const SPTIDeviceTable& table) {
  int count = 0;
  for (const auto& entry : table.entries)
    if (entry.present) count = std::max(count, entry.adapter + 1);
  return static_cast<uint8_t>(count);
}

}  // namespace

ScopedVolume OpenVolume(VolumeSystem& volumes, char letter) {
  const std::string path = VolumePath(letter);
  VolumeSystem::Handle handle =
      volumes.Open(path, GENERIC_READ_ACCESS | GENERIC_WRITE_ACCESS, FILE_SHARE_READ_MODE | FILE_SHARE_WRITE_MODE,
                   OPEN_EXISTING_DISPOSITION, FILE_ATTRIBUTE_NORMAL_FLAG);
  if (handle == VolumeSystem::kInvalidHandle)
    handle = volumes.Open(path, GENERIC_READ_ACCESS, FILE_SHARE_READ_MODE, OPEN_EXISTING_DISPOSITION, 0);
  return ScopedVolume(volumes, handle);
}

char VolumeLetterOf(VolumeSystem& volumes, uint8_t adapter, uint8_t target) {
  for (char letter = 'B'; letter <= 'Z'; ++letter) {
    const ScopedVolume volume = OpenVolume(volumes, letter);
    SCSI_ADDRESS address;
    if (!volume || !AskAddress(volumes, volume.get(), address)) continue;
    if (address.PortNumber == adapter && address.TargetId == target) return letter;
  }
  return 0;
}

PassThroughTransport::PassThroughTransport(VolumeSystem& volumes, const std::atomic<bool>& closeAfterCommand)
    : volumes_(volumes), closeAfterCommand_(closeAfterCommand) {}

int PassThroughTransport::BuildTable() {
  table_ = SPTIDeviceTable{};
  uint8_t virtualTarget = 0;
  int found = 0;
  for (uint8_t letter = kFirstProbedLetter; letter <= kLastLetter; ++letter) {
    const std::string root = std::string(1, static_cast<char>('A' + letter)) + ":\\";
    if (volumes_.DriveType(root) != DRIVE_CDROM) continue;
    if (ProbeVolume(letter, table_.entries[letter], virtualTarget)) ++found;
  }
  table_.count = HighestAdapterCount(table_);
  // Units without an address form one more adapter after the real ones.
  if (virtualTarget != 0) {
    for (auto& entry : table_.entries)
      if (entry.present && entry.lun == kNoAddressLun) {
        entry.lun = 0;
        entry.adapter = table_.count;
      }
    table_.count = HighestAdapterCount(table_);
  }
  return found;
}

bool PassThroughTransport::ProbeVolume(uint8_t letter, SPTIDeviceEntry& entry, uint8_t& virtualTarget) {
  const ScopedVolume volume = OpenVolume(volumes_, static_cast<char>('A' + letter));
  if (!volume) return false;
  std::array<uint8_t, 1025> answer{};
  PassThroughWithSense inquiry = NewPassThrough(6, 24, SCSI_IOCTL_DATA_IN, 96, answer.data());
  const uint8_t cdb[6] = {Code(Opcode::Inquiry), 0x00, 0x00, 0x00, 0x60, 0x00};
  std::memcpy(inquiry.Sptd.Cdb, cdb, sizeof(cdb));
  if (!SendPassThrough(volumes_, volume.get(), inquiry)) return false;
  std::copy_n(answer.begin(), 40, entry.inquiry.begin());
  SCSI_ADDRESS address;
  if (AskAddress(volumes_, volume.get(), address)) {
    entry.adapter = address.PortNumber;
    entry.target = address.TargetId;
    entry.lun = address.Lun;
  } else {
    entry.adapter = 0;
    entry.target = virtualTarget++;
    entry.lun = kNoAddressLun;
  }
  entry.present = true;
  entry.letter = letter;
  return true;
}

uint32_t PassThroughTransport::SupportInfo() {
  if (table_.count > 0) return (uint32_t{SS_COMP} << 8) | table_.count;
  return uint32_t{SS_NO_ADAPTERS} << 8;
}

std::unique_ptr<CompletionEvent> PassThroughTransport::NewCompletionEvent() {
  // Requests complete before SendCommand returns; the signal is never waited for.
  return NewLocalCompletionEvent();
}

uint32_t PassThroughTransport::SendCommand(void* srb) {
  if (srb == nullptr) return SS_ERR;
  auto* header = static_cast<SRB_Header*>(srb);
  switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
      return header->SRB_Status = HostAdapterInquiry(srb);
    case SC_GET_DEV_TYPE:
      return header->SRB_Status = DeviceType(srb);
    case SC_EXEC_SCSI_CMD:
      return header->SRB_Status = Execute(srb);
    case SC_GET_DISK_INFO:
      // Drive letters are not answered here; callers find them by volume address.
      header->SRB_Status = SS_PENDING;
      return SS_ERR;
    default:
      return header->SRB_Status = SS_ERR;
  }
}

uint8_t PassThroughTransport::HostAdapterInquiry(void* srb) {
  auto* inquiry = static_cast<SRB_HAInquiry*>(srb);
  inquiry->HA_Count = table_.count;
  if (inquiry->SRB_HaId >= table_.count) return SS_INVALID_HA;
  inquiry->HA_SCSI_ID = 7;
  std::memcpy(inquiry->HA_ManagerId, kManagerId, sizeof(kManagerId));
  std::memset(inquiry->HA_Identifier, 0, sizeof(inquiry->HA_Identifier));
  std::memcpy(inquiry->HA_Identifier, "SPTI ", 5);
  inquiry->HA_Identifier[5] = static_cast<char>('0' + inquiry->SRB_HaId % 10);
  // Alignment mask 7, 8 targets, at most 00FF0000h bytes per transfer.
  const uint8_t unique[8] = {0x07, 0x00, 0x00, 0x08, 0x00, 0x00, 0xFF, 0x00};
  std::memset(inquiry->HA_Unique, 0, sizeof(inquiry->HA_Unique));
  std::memcpy(inquiry->HA_Unique, unique, sizeof(unique));
  return SS_COMP;
}

uint8_t PassThroughTransport::DeviceType(void* srb) {
  auto* block = static_cast<SRB_GDEVBlock*>(srb);
  if (FindUnit(block->SRB_HaId, block->SRB_Target, block->SRB_Lun) != nullptr) {
    block->SRB_DeviceType = Code(PeripheralType::CDDVD);
    return SS_COMP;
  }
  block->SRB_DeviceType = Code(PeripheralType::Unknown);
  return SS_NO_DEVICE;
}

SPTIDeviceEntry* PassThroughTransport::FindUnit(uint8_t adapter, uint8_t target, uint8_t lun) {
  for (uint8_t letter = kFirstProbedLetter; letter <= kLastLetter; ++letter) {
    SPTIDeviceEntry& entry = table_.entries[letter];
    if (entry.present && entry.adapter == adapter && entry.target == target && entry.lun == lun) return &entry;
  }
  return nullptr;
}

uint8_t PassThroughTransport::Execute(void* srb) {
  auto* request = static_cast<SRB_ExecSCSICmd*>(srb);
  SPTIDeviceEntry* entry = FindUnit(request->SRB_HaId, request->SRB_Target, request->SRB_Lun);
  if (entry == nullptr) return SS_NO_DEVICE;
  // INQUIRY is answered from the table; it never reaches the unit.
  if (request->CDBByte[0] == Code(Opcode::Inquiry)) {
    if (request->SRB_HaId >= table_.count) return SS_INVALID_HA;
    const uint32_t room = request->SRB_BufLen;
    if (request->SRB_BufPointer != nullptr) std::memcpy(request->SRB_BufPointer, entry->inquiry.data(), std::min(36u, room));
    return SS_COMP;
  }
  const uint8_t status = SendToUnit(*entry, srb);
  if (closeAfterCommand_) entry->volume.reset();
  return status;
}

uint8_t PassThroughTransport::SendToUnit(SPTIDeviceEntry& entry, void* srb) {
  // The emulation serves the engine only, whose request blocks hold 33 sense bytes.
  auto* request = static_cast<SCSIRequest*>(srb);
  if (!entry.volume) entry.volume = OpenVolume(volumes_, static_cast<char>('A' + entry.letter));
  const uint8_t cdbLength = std::min<uint8_t>(request->SRB_CDBLen, 16);
  const uint8_t senseRoom = sizeof(PassThroughWithSense::SenseBuf);
  PassThroughWithSense pass =
      NewPassThrough(cdbLength, std::min(request->SRB_SenseLen, senseRoom), DataDirection(request->SRB_Flags),
                     request->SRB_BufLen, request->SRB_BufPointer);
  std::memcpy(pass.Sptd.Cdb, request->CDBByte, cdbLength);
  const bool sent = entry.volume && SendPassThrough(volumes_, entry.volume.get(), pass);
  if (!sent) {
    // The request never reached the unit (gone from the system): as ASPI reports a unit
    // that does not answer its selection.
    request->SRB_HaStat = HASTAT_SEL_TO;
    return SS_ERR;
  }
  const uint8_t senseLength = pass.Sptd.SenseInfoLength;
  if (pass.Sptd.SCSIStatus == STATUS_GOOD && (senseLength == 0 || senseLength == senseRoom))
    return SS_COMP;
  std::memcpy(request->SenseArea, pass.SenseBuf, std::min(senseLength, senseRoom));
  request->SRB_TargStat = pass.Sptd.SCSIStatus;
  return SS_ERR;
}

}  // namespace kvx::scsi
