#include "standins/aspi/virtual_recorder.h"

#include "scsi/big_endian.h"
#include "standins/aspi/disc_tree.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace kvx::aspi {
namespace {


constexpr uint32_t kCDKBsPerX = 176;
constexpr uint32_t kDVDKBsPerX = 1385;
constexpr uint16_t kDefaultCDX = 48;
constexpr uint16_t kDefaultDVDX = 16;

using scsi::ASCPair;
using scsi::BigEndian16;
using scsi::BlankType;
using scsi::CloseFunction;
using scsi::Code;
using scsi::DataBlockType;
using scsi::DescriptorType;
using scsi::FormatType;
using scsi::Feature;
using scsi::ModePage;
using scsi::Opcode;
using scsi::PageControl;
using scsi::Profile;
using scsi::SenseKey;
using scsi::TOCFormat;
using scsi::WriteType;
namespace sense = scsi::sense;
using scsi::BigEndian32;
using scsi::PutBigEndian16;
using scsi::PutBigEndian32;

// An address as READ TOC and READ DISC INFORMATION give it: LBA, or 0, M, S, F.
void PutAddress(uint8_t* bytes, uint32_t lba, bool msf) {
  if (!msf) return PutBigEndian32(bytes, lba);
  const uint32_t frames = lba + 150;
  bytes[0] = 0;
  bytes[1] = static_cast<uint8_t>(frames / (60 * 75));
  bytes[2] = static_cast<uint8_t>(frames / 75 % 60);
  bytes[3] = static_cast<uint8_t>(frames % 75);
}

// Copies the answer, at most the allocation length and the transfer buffer.
void Answer(std::span<uint8_t> data, uint32_t allocation, const std::vector<uint8_t>& answer) {
  const size_t bytes = std::min({data.size(), size_t{allocation}, answer.size()});
  std::copy_n(answer.begin(), bytes, data.begin());
}

std::string Padded(const std::string& text, size_t width) {
  std::string padded = text.substr(0, width);
  padded.resize(width, ' ');
  return padded;
}

bool IsDVDMinus(MediaType media) { return media == MediaType::DVDMinusR || media == MediaType::DVDMinusRW; }

// Commands a unit answers while it is busy with a long operation.
bool AllowedWhileBusy(Opcode opcode) {
  return opcode == Opcode::RequestSense || opcode == Opcode::Inquiry || opcode == Opcode::GetConfiguration ||
         opcode == Opcode::ModeSense10 || opcode == Opcode::ReadBufferCapacity;
}

// Features of CD and DVD-R/-RW writing.
bool CDOrDVDMinusWriting(Feature feature) {
  return feature == Feature::IncrementalStreamingWritable || feature == Feature::CDTrackAtOnce ||
         feature == Feature::CDMastering || feature == Feature::DVDMinusRWrite;
}

// Write types that need a cue sheet (CD) or a reserved track (DVD-R/-RW) first.
bool WritesAtOnce(uint8_t writeType) {
  return writeType == Code(WriteType::SessionAtOnce) || writeType == Code(WriteType::Raw);
}

// Data block types 4 to 7 and 9 are not written on CD here; layer jump only on DVD.
bool TakesWriteParameters(const Medium& medium, uint8_t writeType, uint8_t blockType) {
  if (IsDVDMinus(medium.type))
    return writeType == Code(WriteType::Packet) || writeType == Code(WriteType::SessionAtOnce);
  if (!medium.IsCD()) return true;
  const bool refusedBlockType = blockType > Code(DataBlockType::RawPwRaw) && blockType != Code(DataBlockType::Mode1) &&
                                blockType < Code(DataBlockType::Mode2Form1);
  return writeType != Code(WriteType::LayerJump) && !refusedBlockType;
}

struct FeatureDescriptor {
  Feature code;
  uint8_t version;
  bool current;
  std::vector<uint8_t> data;
};

}  // namespace

struct VirtualRecorder::Reply {
  uint8_t status = kStatusGood;
  uint8_t key = 0, asc = 0, ascq = 0;
  bool progressValid = false;
  bool noSense = false;  // CHECK CONDITION with no sense bytes at all
  uint16_t progress = 0;

  static Reply Good() { return Reply{}; }
  static Reply Check(const CommandFault& fault) {
    Reply reply = Check(fault.sense.key, fault.sense.asc, fault.sense.ascq);
    reply.noSense = fault.noSense;
    return reply;
  }
  static Reply Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    Reply reply;
    reply.status = kStatusCheckCondition;
    reply.key = key;
    reply.asc = asc;
    reply.ascq = ascq;
    return reply;
  }
  static Reply Check(SenseKey key, ASCPair sense) { return Check(Code(key), sense.asc, sense.ascq); }
  static Reply Illegal(ASCPair sense) { return Check(SenseKey::IllegalRequest, sense); }
};

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
    if (fault.opcode != cdb[0]) continue;
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

// --- Unit commands ---------------------------------------------------------------------------

VirtualRecorder::Reply VirtualRecorder::TestUnitReady() { return ReadyCheck(); }

VirtualRecorder::Reply VirtualRecorder::RequestSense(std::span<uint8_t> data, uint32_t allocation) {
  std::vector<uint8_t> sense(18, 0);
  sense[0] = scsi::kFixedSenseCurrent;
  sense[7] = 10;
  const Reply state = ReadyCheck();
  // Sense that never came cannot be fetched either.
  if (state.noSense) return state;
  if (state.status == kStatusCheckCondition) {
    sense[2] = state.key;
    sense[12] = state.asc;
    sense[13] = state.ascq;
    if (state.progressValid) {
      sense[15] = 0x80;
      PutBigEndian16(&sense[16], state.progress);
    }
  }
  Answer(data, allocation, sense);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::Inquiry(std::span<uint8_t> data, uint32_t allocation) {
  if (data.empty() && allocation != 0) return Reply::Illegal(sense::kInvalidFieldInCDB);
  std::vector<uint8_t> answer(96, 0);
  answer[0] = Code(scsi::PeripheralType::CDDVD);
  answer[1] = 0x80;  // removable
  answer[2] = 0x05;  // SPC-3
  answer[3] = 0x02;
  answer[4] = static_cast<uint8_t>(answer.size() - 5);
  const std::string identity = Padded(config_.vendor, 8) + Padded(config_.product, 16) + Padded(config_.revision, 4);
  std::memcpy(&answer[8], identity.data(), identity.size());
  Answer(data, allocation, answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::StartStopUnit(const uint8_t* cdb) {
  const bool loadEject = cdb[4] & 0x02, start = cdb[4] & 0x01;
  if (!loadEject) return Reply::Good();
  if (!start) {
    if (removalPrevented_) return Reply::Illegal(sense::kMediumRemovalPrevented);
    trayOpen_ = true;
  } else {
    trayOpen_ = false;
  }
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::PreventAllow(const uint8_t* cdb) {
  removalPrevented_ = (cdb[4] & 0x01) != 0;
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SetCDSpeed(const uint8_t* cdb) {
  const auto chosen = [&](uint16_t asked, uint16_t configuredX) {
    const uint32_t max = MaxX(configuredX) * KBsPerX();
    if (asked == 0xFFFF) return max;
    return std::clamp<uint32_t>(asked, KBsPerX(), max);
  };
  readKBs_ = chosen(BigEndian16(cdb + 2), config_.maxReadSpeed);
  writeKBs_ = chosen(BigEndian16(cdb + 4), config_.maxWriteSpeed);
  return Reply::Good();
}

// One performance descriptor: the write size per write time sets the write speed.
VirtualRecorder::Reply VirtualRecorder::SetStreaming(const uint8_t* cdb, std::span<const uint8_t> data) {
  const size_t length = std::min<size_t>(BigEndian16(cdb + 9), data.size());
  if (cdb[8] != 0) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (length < 28) return Reply::Illegal(sense::kParameterListLengthError);
  const uint32_t writeSize = BigEndian32(&data[20]), writeTime = BigEndian32(&data[24]);
  if (writeTime != 0) {
    const uint64_t kBs = uint64_t{writeSize} * 1000 / writeTime;
    writeKBs_ = static_cast<uint32_t>(std::clamp<uint64_t>(kBs, KBsPerX(), uint64_t{MaxX(config_.maxWriteSpeed)} * KBsPerX()));
  }
  return Reply::Good();
}

// --- Mode pages ---------------------------------------------------------------------------------

std::vector<uint8_t> VirtualRecorder::CapabilitiesPage() {
  std::vector<uint8_t> page(30, 0);
  page[0] = Code(ModePage::Capabilities);
  page[1] = static_cast<uint8_t>(page.size() - 2);
  // Reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R; writes CD-R, CD-RW, DVD-R, test write
  // (none of them on a DVD+ only unit). DVD-RAM is announced only by a unit configured
  // with one: burning programs take a DVD-RAM writer's speed fields for 1X.
  const bool ram = config_.media == MediaType::DVDRAM;
  page[2] = static_cast<uint8_t>(0x1F | (ram ? 0x20 : 0x00));
  page[3] = config_.dvdPlusOnly ? 0x00 : static_cast<uint8_t>(0x17 | (ram ? 0x20 : 0x00));
  page[4] = static_cast<uint8_t>((config_.underrunFree ? 0x80 : 0x00) | 0x40 | 0x20 | 0x10);
  page[6] = static_cast<uint8_t>(0x29 | (removalPrevented_ ? 0x02 : 0x00));  // tray, eject, lock
  const uint32_t perX = KBsPerX();
  const auto speed = [](uint32_t kBs) { return std::min<uint32_t>(kBs, 0xFFFF); };
  PutBigEndian16(&page[8], speed(MaxX(config_.maxReadSpeed) * perX));
  PutBigEndian16(&page[10], 0x0100);
  PutBigEndian16(&page[12], config_.bufferSize / 1024);
  PutBigEndian16(&page[14], speed(readKBs_));
  PutBigEndian16(&page[18], speed(MaxX(config_.maxWriteSpeed) * perX));
  PutBigEndian16(&page[20], speed(writeKBs_));
  PutBigEndian16(&page[28], speed(writeKBs_));
  return page;
}

std::vector<uint8_t> VirtualRecorder::WriteParametersPage(bool changeableMask) {
  std::vector<uint8_t> page(52, 0);
  page[0] = Code(ModePage::WriteParameters);
  page[1] = 0x32;
  if (changeableMask) {
    page[2] = 0x7F;
    page[3] = 0xFF;
    page[4] = 0x0F;
    page[5] = 0xFF;
    page[14] = page[15] = 0xFF;
    return page;
  }
  const WriteParameters& p = writeParameters_;
  page[2] = static_cast<uint8_t>((p.bufferUnderrunFree ? scsi::kUnderrunFreeBit : 0) |
                                 (p.linkSizeValid ? scsi::kLinkSizeValidBit : 0) |
                                 (p.testWrite ? scsi::kTestWriteBit : 0) | p.writeType);
  page[3] = static_cast<uint8_t>(p.multiSession | p.trackMode);
  page[4] = p.dataBlockType;
  page[5] = p.linkSize;
  PutBigEndian16(&page[14], p.audioPause);
  return page;
}

VirtualRecorder::Reply VirtualRecorder::ModeSense(const uint8_t* cdb, std::span<uint8_t> data) {
  const uint8_t pageCode = cdb[2] & scsi::kPageCodeMask;
  const PageControl control = static_cast<PageControl>(cdb[2] & scsi::kPageControlMask);
  if (control == PageControl::Saved) return Reply::Illegal(sense::kSavingParametersNotSupported);
  std::vector<uint8_t> answer(8, 0);
  const auto add = [&](const std::vector<uint8_t>& page) { answer.insert(answer.end(), page.begin(), page.end()); };
  const bool all = pageCode == Code(ModePage::All), changeable = control == PageControl::Changeable;
  if (pageCode == Code(ModePage::WriteParameters) || all) add(WriteParametersPage(changeable));
  if (pageCode == Code(ModePage::Capabilities) || all) {
    std::vector<uint8_t> page = CapabilitiesPage();
    if (changeable) std::fill(page.begin() + 2, page.end(), 0);  // nothing changeable
    add(page);
  }
  if (answer.size() == 8) return Reply::Illegal(sense::kInvalidFieldInCDB);
  PutBigEndian16(&answer[0], static_cast<uint32_t>(answer.size() - 2));
  Answer(data, BigEndian16(cdb + 7), answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ModeSelect(const uint8_t* cdb, std::span<const uint8_t> data) {
  const size_t length = std::min<size_t>(BigEndian16(cdb + 7), data.size());
  if (length == 0) return Reply::Good();
  if (length < 8) return Reply::Illegal(sense::kParameterListLengthError);
  size_t offset = 8 + BigEndian16(&data[6]);
  while (offset + 2 <= length) {
    const uint8_t code = data[offset] & scsi::kPageCodeMask;
    const size_t pageBytes = size_t{data[offset + 1]} + 2;
    if (offset + pageBytes > length) return Reply::Illegal(sense::kParameterListLengthError);
    if (code != Code(ModePage::WriteParameters)) return Reply::Illegal(sense::kInvalidFieldInParameterList);
    const Reply applied = ApplyWriteParameters(&data[offset], pageBytes);
    if (applied.status != kStatusGood) return applied;
    offset += pageBytes;
  }
  return Reply::Good();
}

// Write types a medium takes: DVD-R/-RW incremental or disc-at-once; CD packet, TAO,
// SAO, raw; DVD+R, DVD+RW and DVD-RAM ignore the page.
VirtualRecorder::Reply VirtualRecorder::ApplyWriteParameters(const uint8_t* page, size_t length) {
  if (length < 16) return Reply::Illegal(sense::kParameterListLengthError);
  const uint8_t writeType = page[2] & scsi::kWriteTypeMask, blockType = page[4] & scsi::kDataBlockTypeMask;
  if (writeType > Code(WriteType::LayerJump)) return Reply::Illegal(sense::kInvalidFieldInParameterList);
  if (MediumPresent() && !TakesWriteParameters(medium_, writeType, blockType))
    return Reply::Illegal(sense::kInvalidFieldInParameterList);
  WriteParameters& p = writeParameters_;
  p.writeType = writeType;
  p.bufferUnderrunFree = page[2] & scsi::kUnderrunFreeBit;
  p.linkSizeValid = page[2] & scsi::kLinkSizeValidBit;
  p.testWrite = page[2] & scsi::kTestWriteBit;
  p.multiSession = page[3] & scsi::kMultiSessionMask;
  p.trackMode = page[3] & scsi::kTrackModeMask;
  p.dataBlockType = blockType;
  p.linkSize = page[5];
  p.audioPause = BigEndian16(&page[14]);
  return Reply::Good();
}

// --- Configuration and disc structure --------------------------------------------------------

VirtualRecorder::Reply VirtualRecorder::GetConfiguration(const uint8_t* cdb, std::span<uint8_t> data) {
  const uint8_t rt = cdb[1] & 0x03;
  const uint16_t first = BigEndian16(cdb + 2);
  if (rt > Code(scsi::FeatureRequest::One)) return Reply::Illegal(sense::kInvalidFieldInCDB);
  const bool present = MediumPresent();
  const MediaType m = present ? medium_.type : MediaType::None;
  const bool cd = m == MediaType::CDROM || m == MediaType::CDR || m == MediaType::CDRW;
  const bool cdWritable = m == MediaType::CDR || m == MediaType::CDRW;
  const bool dvd = present && !cd;

  static constexpr Profile kProfiles[] = {Profile::DVDRAM,
                                          Profile::DVDMinusRSequential,
                                          Profile::DVDMinusRWSequential,
                                          Profile::DVDMinusRWRestrictedOverwrite,
                                          Profile::DVDPlusR,
                                          Profile::DVDPlusRW,
                                          Profile::DVDROM,
                                          Profile::CDRW,
                                          Profile::CDR,
                                          Profile::CDROM};
  std::vector<uint8_t> profiles;
  for (Profile profile : kProfiles) {
    const uint16_t code = Code(profile);
    profiles.insert(profiles.end(), {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code),
                                     static_cast<uint8_t>(present && profile == medium_.Profile()), 0});
  }
  const std::vector<FeatureDescriptor> features = {
      {Feature::ProfileList, 0, true, profiles},
      {Feature::Core, 2, true, {0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00}},  // ATAPI, DBE
      {Feature::RemovableMedium, 0, true, {0x29, 0, 0, 0}},  // tray, eject, lock
      {Feature::CDRead, 2, cd, {0, 0, 0, 0}},
      {Feature::DVDRead, 1, dvd, {0, 0, 0, 0}},
      {Feature::IncrementalStreamingWritable, 1, cdWritable || IsDVDMinus(m), {0x00, 0x01, 0x00, 0x00}},
      {Feature::Formattable, 0, m == MediaType::DVDPlusRW || m == MediaType::DVDRAM, {0, 0, 0, 0}},
      {Feature::DVDPlusRW, 1, m == MediaType::DVDPlusRW, {0x01, 0x00, 0x00, 0x00}},
      {Feature::DVDPlusR, 0, m == MediaType::DVDPlusR, {0x01, 0x00, 0x00, 0x00}},
      {Feature::CDTrackAtOnce, 2, cdWritable, {0x46, 0x00, 0x00, 0x00}},
      {Feature::CDMastering, 1, cdWritable, {0x7E, 0x00, 0xFF, 0xFF}},
      {Feature::DVDMinusRWrite, 1, IsDVDMinus(m), {0x46, 0x00, 0x00, 0x00}},
      {Feature::RealTimeStreaming, 3, present, {0x1F, 0x00, 0x00, 0x00}},
  };
  std::vector<uint8_t> answer(8, 0);
  PutBigEndian16(&answer[6], present ? Code(medium_.Profile()) : Code(Profile::None));
  for (const FeatureDescriptor& feature : features) {
    if (config_.dvdPlusOnly && CDOrDVDMinusWriting(feature.code)) continue;
    const uint16_t code = Code(feature.code);
    const bool wanted = rt == Code(scsi::FeatureRequest::One)
                            ? code == first
                            : code >= first && (rt == Code(scsi::FeatureRequest::All) || feature.current);
    if (!wanted) continue;
    answer.insert(answer.end(), {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code),
                                 static_cast<uint8_t>((feature.version << 2) | 0x02 | (feature.current ? 1 : 0)),
                                 static_cast<uint8_t>(feature.data.size())});
    answer.insert(answer.end(), feature.data.begin(), feature.data.end());
  }
  PutBigEndian32(&answer[0], static_cast<uint32_t>(answer.size() - 4));
  Answer(data, BigEndian16(cdb + 7), answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadDiscInformation(std::span<uint8_t> data, uint32_t allocation) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const Medium& m = medium_;
  std::vector<uint8_t> info(34, 0);
  PutBigEndian16(&info[0], static_cast<uint32_t>(info.size() - 2));
  info[2] = static_cast<uint8_t>((m.Erasable() ? 0x10 : 0) | (m.LastSessionState() << 2) | Code(m.DiscStatus()));
  info[3] = 1;
  const uint16_t sessions = static_cast<uint16_t>(m.leadOuts.size() + (m.finalised || m.RandomAccess() ? 0 : 1));
  info[4] = static_cast<uint8_t>(std::max<uint16_t>(sessions, 1));
  info[5] = static_cast<uint8_t>(m.FirstTrackOfLastSession());
  info[6] = static_cast<uint8_t>(m.TrackCount());
  info[7] = 0x20;  // unrestricted use
  if (m.type == MediaType::DVDPlusRW && m.formatted) info[7] |= 0x03;  // background format complete
  if (m.IsCD() && !m.finalised) {
    // The next session's lead-in: the ATIP's 97:26:66 on a blank disc, else 4650 sectors
    // (lead-in and pre-gap) before its first track.
    if (m.nextStart >= 4650)
      PutAddress(&info[16], m.nextStart - 4650, true);
    else
      info[17] = 97, info[18] = 26, info[19] = 66;
    PutAddress(&info[20], m.capacity, true);
  } else if (m.finalised) {
    PutBigEndian32(&info[16], 0xFFFFFFFF);
    PutBigEndian32(&info[20], 0xFFFFFFFF);
  } else {
    PutBigEndian32(&info[20], m.capacity);
  }
  Answer(data, allocation, info);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadTrackInformation(const uint8_t* cdb, std::span<uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const Medium& m = medium_;
  if ((cdb[1] & 0x03) != 0x01) return Reply::Illegal(sense::kInvalidFieldInCDB);
  uint32_t number = BigEndian32(cdb + 2);
  if (number == 0xFF && !m.finalised) number = m.TrackCount();
  if (number == 0 || number > m.TrackCount()) return Reply::Illegal(sense::kInvalidFieldInCDB);

  std::vector<uint8_t> info(48, 0);
  PutBigEndian16(&info[0], static_cast<uint32_t>(info.size() - 2));
  info[2] = static_cast<uint8_t>(number);
  info[5] = 0x04;  // data track, recorded uninterrupted
  uint32_t start, size, next = 0, free = 0, recorded;
  uint16_t session;
  bool incomplete = false;
  if (m.RandomAccess()) {
    start = 0;
    size = m.capacity;
    recorded = m.recordedEnd;
    session = 1;
  } else if (number <= m.tracks.size()) {
    const TrackRecord& track = m.tracks[number - 1];
    start = track.start;
    size = track.size;
    recorded = track.size;
    session = track.session;
  } else {
    incomplete = true;
    start = m.nextStart;
    next = m.NextWritable();
    free = m.FreeBlocks();
    recorded = m.written;
    size = m.reserved != 0 ? m.reserved : m.written + free;
    session = m.CurrentSession();
  }
  info[3] = static_cast<uint8_t>(session);
  info[6] = static_cast<uint8_t>((incomplete && m.reserved != 0 ? 0x80 : 0) | (recorded == 0 ? 0x40 : 0) | 0x01);
  info[7] = static_cast<uint8_t>((recorded != 0 ? 0x02 : 0) | (incomplete ? 0x01 : 0));
  PutBigEndian32(&info[8], start);
  PutBigEndian32(&info[12], next);
  PutBigEndian32(&info[16], free);
  PutBigEndian32(&info[24], size);
  PutBigEndian32(&info[28], recorded != 0 ? start + recorded - 1 : 0);
  Answer(data, BigEndian16(cdb + 7), info);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadTOC(const uint8_t* cdb, std::span<uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const Medium& m = medium_;
  const bool msf = cdb[1] & 0x02;
  const TOCFormat format = static_cast<TOCFormat>(cdb[2] & 0x0F);
  std::vector<TrackRecord> tracks = m.tracks;
  if (m.RandomAccess() && m.formatted) tracks = {{0, m.recordedEnd, 1}};
  std::vector<uint8_t> answer(4, 0);
  if (format == TOCFormat::TOC) {
    if (tracks.empty()) return Reply::Illegal(sense::kInvalidFieldInCDB);
    answer[2] = 1;
    answer[3] = static_cast<uint8_t>(tracks.size());
    const auto entry = [&](uint8_t number, uint32_t lba) {
      std::vector<uint8_t> descriptor(8, 0);
      descriptor[1] = 0x14;  // data track
      descriptor[2] = number;
      PutAddress(&descriptor[4], lba, msf);
      answer.insert(answer.end(), descriptor.begin(), descriptor.end());
    };
    for (size_t i = 0; i < tracks.size(); ++i) entry(static_cast<uint8_t>(i + 1), tracks[i].start);
    entry(0xAA, tracks.back().start + tracks.back().size);
  } else if (format == TOCFormat::SessionInformation) {
    const size_t complete = m.RandomAccess() ? (m.formatted ? 1 : 0) : m.leadOuts.size();
    if (complete == 0) return Reply::Illegal(sense::kInvalidFieldInCDB);
    size_t firstOfLast = 0;
    for (size_t i = 0; i < tracks.size(); ++i)
      if (tracks[i].session == complete) {
        firstOfLast = i;
        break;
      }
    answer.resize(12, 0);
    answer[2] = 1;
    answer[3] = static_cast<uint8_t>(complete);
    answer[5] = 0x14;
    answer[6] = static_cast<uint8_t>(firstOfLast + 1);
    PutAddress(&answer[8], tracks[firstOfLast].start, msf);
  } else if (format == TOCFormat::ATIP) {
    if (m.type != MediaType::CDR && m.type != MediaType::CDRW) return Reply::Illegal(sense::kInvalidFieldInCDB);
    answer.resize(28, 0);
    answer[4] = 0x80 | 0x50;  // indicative writing power
    answer[6] = static_cast<uint8_t>(0x80 | (m.type == MediaType::CDRW ? 0x40 : 0x00));
    answer[8] = 97;  // lead-in start 97:26:66
    answer[9] = 26;
    answer[10] = 66;
    PutAddress(&answer[11], m.capacity, true);  // last possible lead-out start, bytes 12-14
  } else {
    return Reply::Illegal(sense::kInvalidFieldInCDB);
  }
  PutBigEndian16(&answer[0], static_cast<uint32_t>(answer.size() - 2));
  Answer(data, BigEndian16(cdb + 7), answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadFormatCapacities(std::span<uint8_t> data, uint32_t allocation) {
  std::vector<uint8_t> answer(4, 0);
  const auto descriptor = [&](uint32_t blocks, uint8_t typeByte) {
    std::vector<uint8_t> entry(8, 0);
    PutBigEndian32(&entry[0], blocks);
    entry[4] = typeByte;
    entry[6] = kSectorBytes >> 8;
    answer.insert(answer.end(), entry.begin(), entry.end());
  };
  if (!MediumPresent()) {
    descriptor(0xFFFFFFFF, Code(DescriptorType::NoMedia));
  } else {
    const bool formatted = medium_.RandomAccess() ? medium_.formatted : !medium_.Empty();
    descriptor(medium_.capacity, Code(formatted ? DescriptorType::FormattedMedia : DescriptorType::UnformattedMedia));
    if (medium_.type == MediaType::DVDRAM) descriptor(medium_.capacity, Code(FormatType::Full) << 2);
    if (medium_.type == MediaType::DVDPlusRW) descriptor(medium_.capacity, Code(FormatType::DVDPlusRWFull) << 2);
  }
  answer[3] = static_cast<uint8_t>(answer.size() - 4);
  Answer(data, allocation, answer);
  return Reply::Good();
}

// --- Writing ----------------------------------------------------------------------------------

void VirtualRecorder::DrainBuffer() {
  const uint64_t now = clock_.NowMs();
  const uint64_t burned = (now - lastDrainMs_) * writeKBs_;  // 1 kB/s is one byte per millisecond
  bufferLevel_ -= std::min(bufferLevel_, burned);
  lastDrainMs_ = now;
}

uint32_t VirtualRecorder::DrainMs() {
  DrainBuffer();
  return static_cast<uint32_t>((bufferLevel_ + writeKBs_ - 1) / std::max<uint32_t>(writeKBs_, 1));
}

// Blocks the writer while the buffer is too full, as a unit streaming at its speed does.
void VirtualRecorder::WaitForBufferRoom(uint32_t bytes) {
  const uint64_t room = std::max<uint64_t>(config_.bufferSize, bytes);
  DrainBuffer();
  while (bufferLevel_ + bytes > room) {
    const uint64_t excess = bufferLevel_ + bytes - room;
    clock_.SleepMs(static_cast<uint32_t>((excess + writeKBs_ - 1) / std::max<uint32_t>(writeKBs_, 1)));
    DrainBuffer();
  }
  bufferLevel_ += bytes;
}

VirtualRecorder::Reply VirtualRecorder::Write10(const uint8_t* cdb, std::span<const uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  if (busyWritesLeft_ > 0) {
    --busyWritesLeft_;
    Reply busy;
    busy.status = kStatusBusy;
    return busy;
  }
  Medium& m = medium_;
  const uint32_t lba = BigEndian32(cdb + 2), blocks = BigEndian16(cdb + 7);
  const size_t bytes = size_t{blocks} * kSectorBytes;
  if (m.ReadOnly()) return Reply::Illegal(sense::kCannotWriteIncompatibleFormat);
  if (bytes > data.size()) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (blocks == 0) return Reply::Good();
  if (m.RandomAccess()) {
    if (!m.formatted) return Reply::Illegal(sense::kMediumNotFormatted);
    if (uint64_t{lba} + blocks > m.capacity) return Reply::Illegal(sense::kLBAOutOfRange);
  } else {
    const uint8_t writeType = writeParameters_.writeType;
    const bool needsCueSheet = m.IsCD() && WritesAtOnce(writeType);
    const bool needsReservation = IsDVDMinus(m.type) && writeType == Code(WriteType::SessionAtOnce) && m.reserved == 0;
    if (m.finalised) return Reply::Illegal(sense::kInvalidAddressForWrite);
    if (needsCueSheet || needsReservation) return Reply::Illegal(sense::kCommandSequenceError);
    if (lba != m.NextWritable() + testWritten_) return Reply::Illegal(sense::kInvalidAddressForWrite);
    if (uint64_t{lba} + blocks > m.WritableEnd()) return Reply::Illegal(sense::kInvalidAddressForWrite);
  }
  if (config_.writeErrorLBA >= lba && config_.writeErrorLBA < int64_t{lba} + blocks)
    return Reply::Check(config_.writeErrorSense.key, config_.writeErrorSense.asc, config_.writeErrorSense.ascq);
  if (!config_.fast) WaitForBufferRoom(static_cast<uint32_t>(bytes));
  if (writeParameters_.testWrite && !m.RandomAccess()) {
    testWritten_ += blocks;  // simulation: nothing is recorded
    return Reply::Good();
  }
  if (!image_.Write(lba, data.data(), blocks))
    return Reply::Check(SenseKey::MediumError, sense::kUnrecoveredWriteError);
  if (m.RandomAccess())
    m.recordedEnd = std::max(m.recordedEnd, lba + blocks);
  else
    m.written += blocks;
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::Read10(const uint8_t* cdb, std::span<uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const uint32_t lba = BigEndian32(cdb + 2), blocks = BigEndian16(cdb + 7);
  if (size_t{blocks} * kSectorBytes > data.size()) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (uint64_t{lba} + blocks > medium_.ReadableEnd()) return Reply::Illegal(sense::kLBAOutOfRange);
  if (blocks != 0) image_.Read(lba, data.data(), blocks);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SynchronizeCache(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const bool immediate = cdb[1] & 0x02;
  uint32_t busyMs = config_.fast ? 0 : DrainMs();
  bufferLevel_ = 0;
  Medium& m = medium_;
  // Disc-at-once on DVD-R/-RW: the flush ends the reserved track and writes the lead-out.
  if (IsDVDMinus(m.type) && writeParameters_.writeType == Code(WriteType::SessionAtOnce) && m.reserved != 0 &&
      m.written != 0 &&
      !writeParameters_.testWrite) {
    m.written = m.reserved;
    m.Finalise();
    busyMs += config_.closeMs;
  }
  testWritten_ = 0;
  Save();
  if (m.RandomAccess() || m.finalised) ShowDiscInFolder();  // no close follows these writes
  Occupy(immediate, busyMs, sense::kLongWriteInProgress);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::CloseTrackSession(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const bool immediate = cdb[1] & 0x01;
  const CloseFunction function = static_cast<CloseFunction>(cdb[2] & 0x07);
  Medium& m = medium_;
  if (function != CloseFunction::Track && function != CloseFunction::Session && function != CloseFunction::Finalize &&
      function != CloseFunction::FinalizeMinimalRadius)
    return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (m.ReadOnly() || (m.finalised && !m.RandomAccess())) return Reply::Illegal(sense::kCommandSequenceError);
  if (m.RandomAccess() || writeParameters_.testWrite) {
    testWritten_ = 0;
    return Reply::Good();  // nothing to close (DVD+RW: ends background formatting)
  }
  if (function == CloseFunction::Track) {
    m.CloseTrack();
  } else if (function == CloseFunction::Session) {
    const bool nextAllowed =
        m.type == MediaType::DVDPlusR || writeParameters_.multiSession == Code(scsi::MultiSession::NextSessionAllowed);
    m.CloseSession(nextAllowed);
  } else {
    m.Finalise();
  }
  Save();
  ShowDiscInFolder();
  if (function != CloseFunction::Track) Occupy(immediate, config_.closeMs, sense::kLongWriteInProgress);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReserveTrack(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  Medium& m = medium_;
  const uint32_t size = BigEndian32(cdb + 5);
  if (m.ReadOnly() || m.RandomAccess() || m.finalised || m.written != 0 || m.reserved != 0)
    return Reply::Illegal(sense::kCommandSequenceError);
  if (size == 0 || uint64_t{m.nextStart} + size > m.capacity) return Reply::Illegal(sense::kLBAOutOfRange);
  m.reserved = size;
  Save();
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SendOpcInformation() {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  if (medium_.ReadOnly() || (medium_.finalised && !medium_.RandomAccess()))
    return Reply::Illegal(sense::kCommandSequenceError);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SendDVDStructure(const uint8_t* cdb, std::span<const uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const size_t length = std::min<size_t>(BigEndian16(cdb + 8), data.size());
  if (cdb[7] != scsi::kDVDStructureTimeStamp || !IsDVDMinus(medium_.type))
    return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (length < 4 || BigEndian16(&data[0]) + 2u > length) return Reply::Illegal(sense::kParameterListLengthError);
  return Reply::Good();
}

// --- Blanking and formatting ---------------------------------------------------------------

VirtualRecorder::Reply VirtualRecorder::Blank(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const uint8_t type = cdb[1] & 0x07;
  const bool immediate = cdb[1] & 0x10;
  if (!medium_.Erasable()) return Reply::Illegal(sense::kIncompatibleMediumInstalled);
  if (type > Code(BlankType::Minimal)) return Reply::Illegal(sense::kInvalidFieldInCDB);
  medium_.Erase();
  image_.Clear();
  testWritten_ = 0;
  Save();
  ShowDiscInFolder();
  Occupy(immediate, config_.blankMs, config_.longWrite ? sense::kLongWriteInProgress : sense::kOperationInProgress);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::FormatUnit(const uint8_t* cdb, std::span<const uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  if ((cdb[1] & 0x17) != scsi::kFormatWithParameterList) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (data.size() < 12) return Reply::Illegal(sense::kParameterListLengthError);
  const bool immediate = data[1] & 0x02;
  if (BigEndian16(&data[2]) != 8) return Reply::Illegal(sense::kInvalidFieldInParameterList);
  const FormatType formatType = static_cast<FormatType>(data[8] >> 2);
  const MediaType m = medium_.type;
  if (m != MediaType::DVDRAM && m != MediaType::DVDPlusRW) return Reply::Illegal(sense::kCannotFormatMedium);
  if ((m == MediaType::DVDRAM && formatType != FormatType::Full) ||
      (m == MediaType::DVDPlusRW && formatType != FormatType::DVDPlusRWFull))
    return Reply::Illegal(sense::kInvalidFieldInParameterList);
  medium_.Erase();
  medium_.formatted = true;
  image_.Clear();
  Save();
  ShowDiscInFolder();
  Occupy(immediate, config_.formatMs, config_.longWrite ? sense::kLongWriteInProgress : sense::kFormatInProgress);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadBufferCapacity(std::span<uint8_t> data, uint32_t allocation) {
  DrainBuffer();
  std::vector<uint8_t> answer(12, 0);
  PutBigEndian16(&answer[0], 10);
  PutBigEndian32(&answer[4], config_.bufferSize);
  PutBigEndian32(&answer[8], static_cast<uint32_t>(config_.bufferSize - std::min<uint64_t>(bufferLevel_, config_.bufferSize)));
  Answer(data, allocation, answer);
  return Reply::Good();
}

}  // namespace kvx::aspi
