// The virtual recorder's core: faults, the busy state, the disc's state on disk and the
// dispatch of a command to the file of its command set (virtual_recorder_*.cpp).
#include "standins/aspi/virtual_recorder.h"

#include "standins/aspi/disc_tree.h"
#include "standins/aspi/virtual_recorder_reply.h"

#include <algorithm>
#include <optional>

namespace kvx::aspi {
namespace {

constexpr uint32_t kCDKBsPerX = 176;
constexpr uint32_t kDVDKBsPerX = 1385;
constexpr uint16_t kDefaultCDX = 48;
constexpr uint16_t kDefaultDVDX = 16;

using scsi::ASCPair;
using scsi::BigEndian16;
using scsi::BigEndian32;
using scsi::Opcode;
using scsi::PutBigEndian16;
using scsi::SenseKey;
namespace sense = scsi::sense;

// Commands a unit answers while it is busy with a long operation.
bool AllowedWhileBusy(Opcode opcode) {
  return opcode == Opcode::RequestSense || opcode == Opcode::Inquiry || opcode == Opcode::GetConfiguration ||
         opcode == Opcode::ModeSense10 || opcode == Opcode::ReadBufferCapacity;
}

}  // namespace

VirtualRecorder::VirtualRecorder(const UnitConfig& config, RecorderClock& clock)
    : config_(config), clock_(clock), image_(config.image), busyWritesLeft_(config.busyWrites) {
  Medium saved;
  // The disc of the last run continues, unless the configuration now names another medium.
  if (LoadMedium(config_.image, saved) && saved.type == config_.media)
    medium_ = saved;
  else
    medium_ = Medium::Configured(config_);
  readKBs_ = MaxX(config_.maxReadSpeed) * KBsPerX();
  writeKBs_ = MaxX(config_.maxWriteSpeed) * KBsPerX();
  lastDrainMs_ = clock_.NowMs();
}

VirtualRecorder::~VirtualRecorder() { Save(); }

Medium VirtualRecorder::DiscState() {
  std::lock_guard<std::mutex> guard(mutex_);
  return medium_;
}

CommandResult VirtualRecorder::Execute(std::span<const uint8_t> cdb, std::span<uint8_t> data) {
  std::lock_guard<std::mutex> guard(mutex_);
  CommandResult result;
  std::array<uint8_t, 16> command{};
  std::copy_n(cdb.begin(), std::min(cdb.size(), command.size()), command.begin());
  const CommandFault* fault = gone_ ? nullptr : FaultFor(command.data());
  if (fault != nullptr && fault->gone) gone_ = true;
  if (gone_) {
    result.gone = true;
    return result;
  }
  Reply reply;
  const Opcode opcode = static_cast<Opcode>(command[0]);
  if (fault == nullptr || FailsAfterItsBusyPeriod(opcode)) reply = Dispatch(command, data);
  if (fault != nullptr && !FailsAfterItsBusyPeriod(opcode)) {
    reply = Reply::Check(*fault);
  } else if (fault != nullptr && reply.status == kStatusGood) {
    deferredError_ = *fault;
  }
  result.status = reply.status;
  if (reply.status == kStatusCheckCondition && !reply.noSense) {
    result.sense[0] = scsi::kFixedSenseCurrent;
    result.sense[2] = reply.key;
    result.sense[7] = 10;
    result.sense[12] = reply.asc;
    result.sense[13] = reply.ascq;
    if (reply.progressValid) {
      result.sense[15] = 0x80;
      PutBigEndian16(&result.sense[16], reply.progress);
    }
  }
  return result;
}

bool VirtualRecorder::Gone() {
  std::lock_guard<std::mutex> guard(mutex_);
  return gone_;
}

const CommandFault* VirtualRecorder::FaultFor(const uint8_t* cdb) const {
  for (const CommandFault& fault : config_.faults) {
    if (fault.opcode != cdb[0] || fault.garble) continue;  // a garbled write succeeds
    if (fault.lba < 0) return &fault;
    const int64_t lba = BigEndian32(cdb + 2), blocks = BigEndian16(cdb + 7);
    if (fault.lba >= lba && fault.lba < lba + blocks) return &fault;
  }
  return nullptr;
}

// --- State -------------------------------------------------------------------------------

bool VirtualRecorder::MediumPresent() const { return medium_.type != MediaType::None && !trayOpen_; }

bool VirtualRecorder::Busy() { return clock_.NowMs() < busy_.end; }

// An immediate command returns at once and leaves the unit busy; otherwise the
// command itself takes the time.
void VirtualRecorder::Occupy(bool immediate, uint32_t ms, ASCPair sense) {
  if (!immediate) return clock_.SleepMs(ms);
  busy_.start = clock_.NowMs();
  busy_.end = busy_.start + ms;
  busy_.sense = sense;
}

uint16_t VirtualRecorder::MaxX(uint16_t configured) const {
  if (configured != 0) return configured;
  return medium_.IsCD() || !MediumPresent() ? kDefaultCDX : kDefaultDVDX;
}

// Sense-key specific progress: the fraction done, of 65536.
uint16_t VirtualRecorder::Progress() {
  const uint64_t span = busy_.end - busy_.start;
  if (span == 0) return 0xFFFF;
  const uint64_t done = std::min(clock_.NowMs() - busy_.start, span);
  return static_cast<uint16_t>(std::min<uint64_t>(done * 65536 / span, 0xFFFF));
}

VirtualRecorder::Reply VirtualRecorder::NotReady() {
  Reply reply = Reply::Check(SenseKey::NotReady, busy_.sense);
  reply.progressValid = true;
  reply.progress = Progress();
  return reply;
}

// No medium, or busy: the answer; otherwise GOOD.
VirtualRecorder::Reply VirtualRecorder::ReadyCheck() {
  if (!MediumPresent())
    return Reply::Check(SenseKey::NotReady,
                        trayOpen_ ? sense::kMediumNotPresentTrayOpen : sense::kMediumNotPresentTrayClosed);
  if (Busy()) return NotReady();
  if (deferredError_) {
    const Reply reply = Reply::Check(*deferredError_);
    deferredError_.reset();
    return reply;
  }
  return Reply::Good();
}

void VirtualRecorder::Save() {
  image_.Flush();
  if (!config_.image.empty()) SaveMedium(config_.image, medium_);
}

// Where a reader finds the volume: the first track of the last closed session, or
// sector 0 of a recorded random-access disc; nothing on a blank disc.
static std::optional<uint32_t> LastSessionStart(const Medium& m) {
  if (m.RandomAccess()) return m.recordedEnd != 0 ? std::optional<uint32_t>(0) : std::nullopt;
  for (const TrackRecord& track : m.tracks)
    if (track.session == m.tracks.back().session) return track.start;
  return std::nullopt;
}

// The drive's folder shows what a reader of the disc finds.
void VirtualRecorder::ShowDiscInFolder() {
  if (config_.folder.empty()) return;
  const SectorReader read = [this](uint32_t lba, uint8_t* data, uint32_t blocks) { image_.Read(lba, data, blocks); };
  ExportSessionTree(read, LastSessionStart(medium_), config_.folder);
}

uint32_t VirtualRecorder::KBsPerX() const { return medium_.IsCD() || !MediumPresent() ? kCDKBsPerX : kDVDKBsPerX; }

// --- Dispatch -------------------------------------------------------------------------------

VirtualRecorder::Reply VirtualRecorder::Dispatch(std::span<const uint8_t> command, std::span<uint8_t> data) {
  const uint8_t* cdb = command.data();
  const Opcode opcode = static_cast<Opcode>(cdb[0]);
  if (!AllowedWhileBusy(opcode) && MediumPresent() && Busy()) return NotReady();
  switch (opcode) {
    case Opcode::TestUnitReady: return TestUnitReady();
    case Opcode::RequestSense: return RequestSense(data, cdb[4]);
    case Opcode::FormatUnit: return FormatUnit(cdb, data);
    case Opcode::Inquiry: return Inquiry(data, BigEndian16(cdb + 3));
    case Opcode::StartStopUnit: return StartStopUnit(cdb);
    case Opcode::PreventAllowRemoval: return PreventAllow(cdb);
    case Opcode::ReadFormatCapacities: return ReadFormatCapacities(data, BigEndian16(cdb + 7));
    case Opcode::Read10: return Read10(cdb, data);
    case Opcode::Write10: return Write10(cdb, data);
    case Opcode::SynchronizeCache: return SynchronizeCache(cdb);
    case Opcode::ReadTOC: return ReadTOC(cdb, data);
    case Opcode::GetConfiguration: return GetConfiguration(cdb, data);
    case Opcode::ReadDiscInformation: return ReadDiscInformation(data, BigEndian16(cdb + 7));
    case Opcode::ReadTrackInformation: return ReadTrackInformation(cdb, data);
    case Opcode::ReserveTrack: return ReserveTrack(cdb);
    case Opcode::SendOpcInformation: return SendOpcInformation();
    case Opcode::ModeSelect10: return ModeSelect(cdb, data);
    case Opcode::ModeSense10: return ModeSense(cdb, data);
    case Opcode::CloseTrackSession: return CloseTrackSession(cdb);
    case Opcode::ReadBufferCapacity: return ReadBufferCapacity(data, BigEndian16(cdb + 7));
    case Opcode::Blank: return Blank(cdb);
    case Opcode::SetStreaming: return SetStreaming(cdb, data);
    case Opcode::SetCDSpeed: return SetCDSpeed(cdb);
    case Opcode::SendDVDStructure: return SendDVDStructure(cdb, data);
    default: return Reply::Illegal(sense::kInvalidCommandOperationCode);
  }
}

}  // namespace kvx::aspi
