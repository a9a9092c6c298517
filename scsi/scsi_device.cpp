// TSCSIDevice: lifecycle, the command core, log lines and unit selection.
#include "scsi/scsi_device.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/exception_text.h"
#include "scsi/command_names.h"
#include "scsi/erase_thread.h"
#include "scsi/pass_through.h"
#include "scsi/sense_text.h"
#include "scsi/transport.h"

namespace kvx::scsi {
namespace {

constexpr uint32_t kMinimumWaitMs = 10000;
constexpr uint32_t kAbortGraceMs = 2000;  // for the manager to let go of an aborted request
constexpr uint8_t kNoUnit = 254;
constexpr size_t kLoggedDataBytes = 257;

// Opcodes whose failures are expected and not logged.
constexpr Opcode kQuietOpcodes[] = {
    Opcode::TestUnitReady,       Opcode::RezeroUnit,          Opcode::Inquiry,
    Opcode::StartStopUnit,       Opcode::PreventAllowRemoval, Opcode::ReadFormatCapacities,
    Opcode::SynchronizeCache,    Opcode::ReadTOC,             Opcode::GetConfiguration,
    Opcode::ReadDiscInformation, Opcode::ReadTrackInformation, Opcode::ModeSelect10,
    Opcode::ModeSense10,         Opcode::ReadBufferCapacity,  Opcode::SetStreaming,
    Opcode::SetCDSpeed};

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "%0*X", digits, value);
  return text;
}

bool IsQuiet(const SCSIRequest& request) {
  if (ASCPair{request.SenseArea[12], request.SenseArea[13]} == sense::kLongWriteInProgress) return true;
  const Opcode opcode = static_cast<Opcode>(request.CDBByte[0]);
  return std::find(std::begin(kQuietOpcodes), std::end(kQuietOpcodes), opcode) != std::end(kQuietOpcodes);
}

std::string TrimmedText(const uint8_t* bytes, size_t length) {
  std::string text(reinterpret_cast<const char*>(bytes), length);
  const auto kept = [](char c) { return static_cast<unsigned char>(c) > ' '; };
  const auto first = std::find_if(text.begin(), text.end(), kept);
  const auto last = std::find_if(text.rbegin(), text.rend(), kept).base();
  return first < last ? std::string(first, last) : std::string();
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A CD/DVD unit, or a write-once unit listed as not supported.
bool IsRecorderType(uint8_t peripheralType) {
  return peripheralType == Code(PeripheralType::CDDVD) || peripheralType == Code(PeripheralType::WriteOnce);
}

}  // namespace

uint16_t SpeedX(uint32_t kBs) { return static_cast<uint16_t>(std::lround(kBs / 176.46)); }

TSCSIDevice::TSCSIDevice(SCSITransportHub& transport)
    : transport_(transport),
      sleep_([](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }) {
  if (transport_.Initialized()) {
    HostAdapterInquiry(0);
    ScanDevices();
  }
}

TSCSIDevice::~TSCSIDevice() {
  // The blanking thread works on this object until it ends, which it does within a
  // second of being asked: stopped here, while all of the object still lives.
  eraseThread_.reset();
  // A block the manager has not let go of may still be written: the hub keeps it, with
  // the transport it came from, rather than have it freed under the manager.
  ReleaseAbandonedRequests();
  for (std::unique_ptr<InFlightRequest>& held : abandoned_)
    transport_.KeepUntilReleased(std::shared_ptr<InFlightRequest>(std::move(held)));
}

bool TSCSIDevice::InitializeASPI(bool preferPassThrough) {
  bool initialised = false;
  try {
    initialised = transport_.Initialize(preferPassThrough);
  } catch (...) {
    DebugMessage("<<< TRANSPORT FAILURE: " + CurrentExceptionText(), kDebugFailure);
    return false;
  }
  if (initialised) {
    HostAdapterInquiry(0);
    ScanDevices();
  }
  return initialised;
}

bool TSCSIDevice::ASPIInitialized() const { return transport_.Initialized(); }

void TSCSIDevice::DebugMessage(const std::string& text, uint8_t mType) {
  if (debugWindow_ != nullptr) debugWindow_->AddLine(text);
  if (onDebugMessage_) onDebugMessage_(this, text, mType);
}

// --- The command core ----------------------------------------------------------------

bool TSCSIDevice::ExecSCSICommand(SCSIRequest& request, uint32_t timeoutMs) {
  lastError_.clear();
  targetBusy_ = false;
  senseData_.fill(0);
  const std::shared_ptr<SCSITransport> transport = transport_.Active();
  if (!transport || haId_ == kNoUnit) {
    // Not sent: the request must not look pending (accepted) to its caller.
    request.SRB_Status = SS_NO_DEVICE;
    lastError_ = StatusText(SS_NO_DEVICE, 0, 0);
    return false;
  }

  ReleaseAbandonedRequests();
  request.SRB_PostProc = nullptr;
  request.SRB_Cmd = SC_EXEC_SCSI_CMD;
  request.SRB_HaId = haId_;
  request.SRB_Target = target_;
  request.SRB_Lun = lun_;
  request.SRB_SenseLen = SENSE_LEN;
  request.CDBByte[1] = static_cast<uint8_t>((request.CDBByte[1] & 0x1F) | (lun_ << 5));

  if (request.CDBByte[0] == Code(Opcode::NoOperation))
    request.SRB_Status = SS_COMP;
  else
    SendAndWait(request, transport, timeoutMs);

  const uint8_t status = LoadSRBStatus(request);
  if (status != SS_COMP && status != SS_PENDING) {
    RecordFailure(request);
    if (!IsQuiet(request)) WriteLogLine(request);
  }
  return true;
}

struct TSCSIDevice::InFlightRequest {
  SCSIRequest block{};
  std::vector<uint8_t> data;
  std::unique_ptr<CompletionEvent> completion;
  std::shared_ptr<SCSITransport> transport;  // stays loaded while it may complete the block
  bool Released();
};

// The transport gets a block of the device's own, with its own copy of the data and its
// own completion signal: after a time-out an asynchronous manager may still complete the
// request, and that must not reach the caller's frame or buffer, which are gone by then.
void TSCSIDevice::SendAndWait(SCSIRequest& request, const std::shared_ptr<SCSITransport>& transport,
                              uint32_t timeoutMs) {
  auto inFlight = std::make_unique<InFlightRequest>();
  inFlight->transport = transport;
  SCSIRequest& block = inFlight->block;
  block = request;
  if (request.SRB_BufPointer != nullptr && request.SRB_BufLen > 0) {
    inFlight->data.assign(request.SRB_BufPointer, request.SRB_BufPointer + request.SRB_BufLen);
    block.SRB_BufPointer = inFlight->data.data();
  }
  if (block.SRB_Flags & SRB_EVENT_NOTIFY) {
    inFlight->completion = transport->NewCompletionEvent();
    block.SRB_PostProc = inFlight->completion->PostProcHandle();
  }
  // A request accepted as pending is the manager's until its signal is set (its last
  // touch, after the status): only then may the block go.
  const uint32_t accepted = transport->SendCommand(&block);
  if (inFlight->completion && accepted == SS_PENDING &&
      !inFlight->completion->Wait(std::max(timeoutMs, kMinimumWaitMs))) {
    abortBlock_ = SRB_Abort{};
    abortBlock_.SRB_Cmd = SC_ABORT_SRB;
    abortBlock_.SRB_HaId = haId_;
    abortBlock_.SRB_ToAbort = &block;
    transport->SendCommand(&abortBlock_);
    // Kept until the manager lets go of it; freed at once when the abort made it do so.
    if (!inFlight->completion->Wait(kAbortGraceMs)) abandoned_.push_back(std::move(inFlight));
    request.SRB_Status = SS_ERR;
    request.SRB_HaStat = HASTAT_TIMEOUT;
    return;
  }
  request.SRB_HaStat = block.SRB_HaStat;
  request.SRB_TargStat = block.SRB_TargStat;
  std::memcpy(request.SenseArea, block.SenseArea, sizeof(request.SenseArea));
  if ((block.SRB_Flags & SRB_DIR_IN) && !inFlight->data.empty())
    std::copy(inFlight->data.begin(), inFlight->data.end(), request.SRB_BufPointer);
  StoreSRBStatus(request, LoadSRBStatus(block));
}

// A block is let go of once its completion signal is set (the manager's last touch).
bool TSCSIDevice::InFlightRequest::Released() {
  return completion ? completion->Wait(0) : LoadSRBStatus(block) != SS_PENDING;
}

void TSCSIDevice::ReleaseAbandonedRequests() {
  std::erase_if(abandoned_, [](const std::unique_ptr<InFlightRequest>& held) { return held->Released(); });
}

bool TSCSIDevice::Send(SCSIRequest& request, uint32_t timeoutMs) {
  ExecSCSICommand(request, timeoutMs);
  return LoadSRBStatus(request) == SS_COMP;
}

bool TSCSIDevice::UnitBusy() const {
  const bool notReady = IsFixedSense(senseData_[0]) && SenseKeyOf(senseData_.data()) == SenseKey::NotReady;
  return targetBusy_ || (notReady && (LastASC() == kASCNotReady || LastASC() == sense::kNoAdditionalSense.asc));
}

void TSCSIDevice::RecordFailure(const SCSIRequest& request) {
  const FailureText failure = BuildFailureText(request);
  lastError_ = failure.text;
  targetBusy_ = failure.targetBusy;
  std::memcpy(senseData_.data(), request.SenseArea, senseData_.size());
}

void TSCSIDevice::WriteLogLine(const SCSIRequest& request) {
  const std::string address = std::to_string(request.SRB_HaId) + ":" + Hex(request.SRB_Target, 1) + ":" +
                              std::to_string(request.SRB_Lun) + " <" + Hex(request.SRB_Status, 2) + ">" + " [" +
                              Hex(request.SRB_BufLen, 4) + "]";
  std::string text = "(" + Hex(request.CDBByte[0], 2) + ") {" + Hex(request.SRB_Flags, 2) + "|" +
                     Hex(request.SRB_CDBLen, 2) + "} - " + address + " ";
  for (int i = 1; i < 16; ++i) text += Hex(request.CDBByte[i], 2) + " ";
  text = CommandNames(request.CDBByte[0]) + " " + text + " " + "| ";
  if (request.SRB_BufPointer != nullptr) {
    const size_t bufferBytes = request.SRB_BufLen;  // a copy: std::min binds a reference, the field is unaligned
    const size_t shown = std::min(bufferBytes, kLoggedDataBytes);
    for (size_t i = 0; i < shown; ++i) text += Hex(request.SRB_BufPointer[i], 2) + " ";
  }
  const uint8_t* sense = request.SenseArea;
  DebugMessage("<<< " + text + "= " + Hex(request.SRB_HaStat, 2) + " " + Hex(request.SRB_TargStat, 2) + " " +
                   Hex(sense[0], 2) + " " + Hex(sense[2], 2) + " " + "ASC:" + Hex(sense[12], 2) + ",ASQ:" +
                   Hex(sense[13], 2) + " " + lastError_,
               kDebugFailure);
}

// --- Units ---------------------------------------------------------------------------------

bool TSCSIDevice::HostAdapterInquiry(uint8_t adapter) {
  haInquiry_ = SRB_HAInquiry{};
  haInquiry_.SRB_Cmd = SC_HA_INQUIRY;
  haInquiry_.SRB_HaId = adapter;
  const std::shared_ptr<SCSITransport> transport = transport_.Active();
  if (transport) transport->SendCommand(&haInquiry_);
  if (haInquiry_.SRB_Status != SS_COMP) {
    adapterCount_ = -1;
    return false;
  }
  adapterCount_ = static_cast<int8_t>(haInquiry_.HA_Count == 0 ? 7 : haInquiry_.HA_Count);
  return true;
}

std::string TSCSIDevice::UnitDriveLetter(uint8_t adapter, uint8_t target, uint8_t lun) {
  if (VolumeSystem* volumes = transport_.Platform().Volumes())
    if (char letter = VolumeLetterOf(*volumes, adapter, target)) return std::string(1, letter);
  const std::shared_ptr<SCSITransport> transport = transport_.Active();
  if (!transport) return "";
  SRB_GetDiskInfo info{};
  info.SRB_Cmd = SC_GET_DISK_INFO;
  info.SRB_HaId = adapter;
  info.SRB_Target = target;
  info.SRB_Lun = lun;
  transport->SendCommand(&info);
  if (info.SRB_Status != SS_COMP) return "";
  return std::string(1, static_cast<char>('A' + info.SRB_Int13HDriveInfo));
}

void TSCSIDevice::ScanDevices() {
  devices_.clear();
  const uint8_t keptHaId = haId_, keptTarget = target_, keptLun = lun_;
  lun_ = 0;
  if (doDebug_) DebugMessage(">>> " + transport_.Name(), kDebugProgress);
  const int adapters = adapterCount_;
  for (int adapter = 0; adapter < adapters; ++adapter) {
    HostAdapterInquiry(static_cast<uint8_t>(adapter));
    if (doDebug_)
      DebugMessage(">>> " + std::string(haInquiry_.HA_ManagerId, 16) + " (" +
                       TrimmedText(reinterpret_cast<const uint8_t*>(haInquiry_.HA_Identifier), 16) + ")",
                   kDebugProgress);
    for (uint8_t target = 0; target < 8; ++target)
      for (uint8_t lun = 0; lun < 8; ++lun) {
        haId_ = static_cast<uint8_t>(adapter);
        target_ = target;
        lun_ = lun;
        if (!Inquiry() || !IsRecorderType(inquiry_[0])) continue;
        std::string letter = UnitDriveLetter(haId_, target, lun);
        std::string line = std::to_string(adapter) + ":" + std::to_string(target) + ":" + std::to_string(lun) + "," +
                           (letter.empty() ? "?" : letter) + ": " +
                           std::string(reinterpret_cast<const char*>(&inquiry_[8]), 28);
        if (inquiry_[0] == Code(PeripheralType::WriteOnce)) line += " (not supported)";
        devices_.push_back(line);
      }
  }
  haId_ = keptHaId;
  target_ = keptTarget;
  lun_ = keptLun;
  lastError_.clear();
}

void TSCSIDevice::ResetSelection() {
  device_.clear();
  deviceDescription_.clear();
  deviceType_ = Code(PeripheralType::None);
  haId_ = target_ = lun_ = kNoUnit;
}

void TSCSIDevice::SetDevice(const std::string& line) {
  const auto isDigit = [&](size_t i) { return line[i] >= '0' && line[i] <= '9'; };
  if (line.size() > 4 && isDigit(0) && isDigit(2) && isDigit(4)) {
    haId_ = static_cast<uint8_t>(line[0] - '0');
    target_ = static_cast<uint8_t>(line[2] - '0');
    lun_ = static_cast<uint8_t>(line[4] - '0');
    device_ = line;
    ReadDeviceName();
    if (IsRecorderType(inquiry_[0])) {
      SetQuirks();
      if (onDeviceChange_) onDeviceChange_(this);
      ProbeWriteModes();
      return;
    }
  }
  if (!line.empty()) DebugMessage("INVALID DEVICE ID / NOT A CD OR DVD DRIVE", kDebugFailure);
  ResetSelection();
}

void TSCSIDevice::ReadDeviceName() {
  ReadCapabilities();
  if (!Inquiry()) {
    deviceDescription_ = lastError_;
    return;
  }
  deviceType_ = inquiry_[0];
  for (size_t i = 8; i <= 55; ++i)
    if (inquiry_[i] < 0x20) inquiry_[i] = ' ';
  const auto field = [&](size_t from, size_t length) {
    return std::string(reinterpret_cast<const char*>(&inquiry_[from]), length);
  };
  deviceDescription_ = field(8, 8) + " " + field(16, 16) + " " + field(32, 4);
}

void TSCSIDevice::SetQuirks() {
  const std::string product = TrimmedText(&inquiry_[16], 16);
  std::string vendor = TrimmedText(&inquiry_[8], 8);
  if (vendor.size() < 3) vendor = "     ";
  const std::string rawProduct(reinterpret_cast<const char*>(&inquiry_[16]), 16);
  // Protects against underruns but does not say so in its capabilities page.
  forcedUnderrunProtection_ = product == "CD-W512EB";
  // Refuses a write parameters page whose link size is not marked valid.
  linkSizeValidUnit_ = product == "CRX175E" || product == "CD-RW  CRX800E";
  // Answers READ DISC INFORMATION while still busy: readiness is asked with TEST UNIT READY first.
  ujdaTdkUnit_ = StartsWith(product, "UJDA") || StartsWith(vendor, "TDK");
  // Does not take CLOSE TRACK/SESSION with the immediate bit.
  closeImmediate_ = product != "CDRW321040X";
  // Stays busy for minutes after a flush or a blanking (LONG WRITE IN PROGRESS), and
  // writes only track-at-once with underrun protection.
  longWriteUnit_ = rawProduct == "DVD-RW  DVR-103 " || rawProduct == "DVD-RW  DVR-104 ";
  if (longWriteUnit_) closeImmediate_ = true;
}

}  // namespace kvx::scsi
