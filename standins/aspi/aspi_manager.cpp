#include "standins/aspi/aspi_manager.h"

#include <algorithm>
#include <cstring>

#include "base/exception_text.h"
#include "scsi/aspi_defs.h"
#include "scsi/mmc_codes.h"
#include "standins/aspi/recorder_config.h"

namespace kvx::aspi {
namespace {

using namespace kvx::scsi;

constexpr char kManagerId[16] = {'K', 'V', 'X', 'A', 'S', 'P', 'I', ' ', 'S', 'T', 'A', 'N', 'D', '-', 'I', 'N'};
constexpr size_t kSenseAreaBytes = SENSE_LEN + 2;

// Inside a catch block: the exception's text to report, which may throw too.
void Report(const FailureReport& report) noexcept {
  if (!report) return;
  try {
    report(CurrentExceptionText());
  } catch (...) {  // nowhere left to tell
  }
}

uint8_t StoreFailure(void* srb) noexcept {
  if (srb == nullptr) return SS_ERR;
  auto* header = static_cast<SRB_Header*>(srb);
  if (header->SRB_Cmd == SC_EXEC_SCSI_CMD)
    StoreSRBStatus(*static_cast<SRB_ExecSCSICmd*>(srb), SS_ERR);
  else
    header->SRB_Status = SS_ERR;
  return SS_ERR;
}

}  // namespace

ASPIManager::ASPIManager(std::vector<std::unique_ptr<VirtualRecorder>> units) : units_(std::move(units)) {}

ASPIManager::~ASPIManager() {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    stopping_ = true;
  }
  queued_.notify_all();
  if (completer_.joinable()) completer_.join();
}

void ASPIManager::CompleteLater(std::function<void(void* srb)> completed) {
  if (completer_.joinable()) return;
  completed_ = std::move(completed);
  completer_ = std::thread([this] { CompleteQueued(); });
}

void ASPIManager::CompleteQueued() {
  std::unique_lock<std::mutex> lock(queueLock_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    void* srb = queue_.front();
    queue_.pop_front();
    lock.unlock();
    ExecuteCommandOrFail(srb);
    completed_(srb);
    lock.lock();
  }
}

uint8_t ASPIManager::Queue(void* srb) {
  StoreSRBStatus(*static_cast<SRB_ExecSCSICmd*>(srb), SS_PENDING);
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    queue_.push_back(srb);
  }
  queued_.notify_one();
  return SS_PENDING;
}

// A request not yet started ends aborted; one under way completes as it would have.
uint8_t ASPIManager::Abort(void* srb) {
  auto* abort = static_cast<SRB_Abort*>(srb);
  void* target = abort->SRB_ToAbort;
  bool found = false;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    const auto queued = std::find(queue_.begin(), queue_.end(), target);
    if (queued != queue_.end()) {
      queue_.erase(queued);
      found = true;
    }
  }
  if (found) {
    StoreSRBStatus(*static_cast<SRB_ExecSCSICmd*>(target), SS_ABORTED);
    completed_(target);
  }
  return abort->SRB_Status = SS_COMP;
}

uint32_t ASPIManager::SupportInfo() const {
  if (units_.empty()) return uint32_t{SS_NO_ADAPTERS} << 8;
  return (uint32_t{SS_COMP} << 8) | 1;
}

VirtualRecorder* ASPIManager::UnitAt(uint8_t adapter, uint8_t target, uint8_t lun) {
  if (adapter != 0 || lun != 0) return nullptr;
  for (auto& unit : units_)
    if (unit->Config().number == target) return unit.get();
  return nullptr;
}

uint8_t ASPIManager::Execute(void* srb) noexcept {
  try {
    return Carry(srb);
  } catch (...) {
    Report(report_);
    return StoreFailure(srb);
  }
}

uint8_t ASPIManager::ExecuteCommandOrFail(void* srb) noexcept {
  try {
    return ExecuteCommand(srb);
  } catch (...) {
    Report(report_);
    return StoreFailure(srb);
  }
}

uint8_t ASPIManager::Carry(void* srb) {
  if (srb == nullptr) return SS_ERR;
  auto* header = static_cast<SRB_Header*>(srb);
  switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: return header->SRB_Status = HostAdapterInquiry(srb);
    case SC_GET_DEV_TYPE: return header->SRB_Status = DeviceType(srb);
    case SC_EXEC_SCSI_CMD: return completed_ ? Queue(srb) : ExecuteCommand(srb);
    case SC_ABORT_SRB: return completed_ ? Abort(srb) : header->SRB_Status = SS_COMP;  // else long completed
    case SC_GET_DISK_INFO: return header->SRB_Status = DiskInfo(srb);
    default: return header->SRB_Status = SS_INVALID_CMD;
  }
}

uint8_t ASPIManager::HostAdapterInquiry(void* srb) {
  auto* inquiry = static_cast<SRB_HAInquiry*>(srb);
  inquiry->HA_Count = units_.empty() ? 0 : 1;
  if (inquiry->SRB_HaId >= inquiry->HA_Count) return SS_INVALID_HA;
  inquiry->HA_SCSI_ID = 7;
  std::memcpy(inquiry->HA_ManagerId, kManagerId, sizeof(kManagerId));
  std::memset(inquiry->HA_Identifier, 0, sizeof(inquiry->HA_Identifier));
  std::memcpy(inquiry->HA_Identifier, "VIRTUAL MMC", 11);
  std::memset(inquiry->HA_Unique, 0, sizeof(inquiry->HA_Unique));
  inquiry->HA_Unique[3] = 8;                 // targets
  inquiry->HA_Unique[6] = 0x01;              // 64 KiB per transfer (little-endian 00010000h)
  return SS_COMP;
}

uint8_t ASPIManager::DeviceType(void* srb) {
  auto* block = static_cast<SRB_GDEVBlock*>(srb);
  VirtualRecorder* unit = UnitAt(block->SRB_HaId, block->SRB_Target, block->SRB_Lun);
  if (unit == nullptr || unit->Gone()) {
    block->SRB_DeviceType = scsi::Code(scsi::PeripheralType::Unknown);
    return SS_NO_DEVICE;
  }
  block->SRB_DeviceType = scsi::Code(scsi::PeripheralType::CDDVD);
  return SS_COMP;
}

uint8_t ASPIManager::DiskInfo(void* srb) {
  auto* info = static_cast<SRB_GetDiskInfo*>(srb);
  VirtualRecorder* unit = UnitAt(info->SRB_HaId, info->SRB_Target, info->SRB_Lun);
  if (unit == nullptr || unit->Gone()) return SS_NO_DEVICE;
  if (unit->Config().letter == 0) return SS_ERR;
  info->SRB_DriveFlags = 0;
  info->SRB_Int13HDriveInfo = static_cast<uint8_t>(unit->Config().letter - 'A');
  return SS_COMP;
}

uint8_t ASPIManager::ExecuteCommand(void* srb) {
  auto* request = static_cast<SRB_ExecSCSICmd*>(srb);
  VirtualRecorder* unit = UnitAt(request->SRB_HaId, request->SRB_Target, request->SRB_Lun);
  uint8_t status = SS_NO_DEVICE;
  if (unit != nullptr) {
    const uint8_t cdbLength = std::min<uint8_t>(request->SRB_CDBLen, 16);
    std::span<uint8_t> data;
    if (request->SRB_BufPointer != nullptr) data = std::span<uint8_t>(request->SRB_BufPointer, request->SRB_BufLen);
    const CommandResult result = unit->Execute(std::span<const uint8_t>(request->CDBByte, cdbLength), data);
    request->SRB_HaStat = result.gone ? HASTAT_SEL_TO : HASTAT_OK;  // nothing answers the selection
    request->SRB_TargStat = result.status;
    if (result.status == kStatusCheckCondition)
      std::memcpy(request->SenseArea, result.sense.data(),
                  std::min<size_t>({request->SRB_SenseLen, result.sense.size(), kSenseAreaBytes}));
    status = result.status == kStatusGood && !result.gone ? SS_COMP : SS_ERR;
  }
  StoreSRBStatus(*request, status);
  return status;
}

std::unique_ptr<ASPIManager> LoadASPIManager(const std::string& configPath, RecorderClock& clock, std::string& error) {
  std::vector<UnitConfig> configs;
  if (!ReadRecorderConfig(configPath, configs, error)) return nullptr;
  std::vector<std::unique_ptr<VirtualRecorder>> units;
  for (const UnitConfig& config : configs) units.push_back(std::make_unique<VirtualRecorder>(config, clock));
  return std::make_unique<ASPIManager>(std::move(units));
}

uint32_t GuardSupportInfo(const std::function<uint32_t()>& work, const FailureReport& report) noexcept {
  try {
    return work();
  } catch (...) {
    Report(report);
    return uint32_t{SS_FAILED_INIT} << 8;
  }
}

uint32_t GuardRequest(void* srb, const std::function<uint32_t()>& work, const FailureReport& report) noexcept {
  try {
    return work();
  } catch (...) {
    Report(report);
    return StoreFailure(srb);
  }
}

}  // namespace kvx::aspi
