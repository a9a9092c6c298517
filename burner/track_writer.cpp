#include "burner/track_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>

#include "base/exception_text.h"
#include "base/local_time.h"
#include "burner/iso_records.h"
#include "burner/track_image.h"
#include "burner/vortal_burner.h"
#include "scsi/command_names.h"
#include "scsi/transport.h"

namespace kvx {
namespace {

using scsi::DiscKind;
using scsi::IsDVDMinus;
using scsi::kDebugFailure;
using scsi::kDebugProgress;

constexpr const char* kUnitTimeoutText = "TIMEOUT";
constexpr uint8_t kWriteDataOut = scsi::SRB_DIR_OUT | scsi::SRB_EVENT_NOTIFY;  // completion signalled by an event
constexpr uint32_t kBlockSectors = kCacheBlockBytes / kSectorSize;
constexpr int kBlocksBetweenBufferPolls = 5;
constexpr uint32_t kLeadOutSeconds = 1800;

// SET STREAMING performance descriptor for DVD-R/-RW: from LBA 0 to 2298495, reading
// 43965 kB and writing 1418 kB per second.
std::vector<uint8_t> DVDMinusPerformance() {
  std::vector<uint8_t> descriptor(28, 0);
  PutBig32(&descriptor[4], 0);
  PutBig32(&descriptor[8], 0x0023127F);
  PutBig32(&descriptor[12], 43965);
  PutBig32(&descriptor[16], 1000);
  PutBig32(&descriptor[20], 1418);
  PutBig32(&descriptor[24], 1000);
  return descriptor;
}

// DVD speeds are shown in DVD factors: the CD X factor divided by 7.
bool SpeedInDVDFactors(DiscKind type) {
  return IsDVDMinus(type) || type == DiscKind::DVDPlusRW || type == DiscKind::DVDPlusR;
}

}  // namespace

TThWrite::TThWrite(TVortalBurner& burner, OwnedThread<TCacheThread> cache, std::shared_ptr<Event> imageReleased)
    : burner_(burner), cache_(std::move(cache)), imageReleased_(std::move(imageReleased)) {}

void TThWrite::Execute() {
  TVortalBurner::onWriterThread_ = true;
  try {
    if (Prepare()) {
      Stream();
      Finish();
    }
  } catch (...) {
    // The write still ends through OnWriteDone and frees the engine for the next one.
    burner_.DebugMessage(std::string("<<< ") + kWriterFailureText + ": " + CurrentExceptionText(), kDebugFailure);
    if (!Failed()) Stop(kWriterFailureText);
  }
  Report();
}

// --- Preparation -----------------------------------------------------------------------

bool TThWrite::Prepare() {
  TVortalBurner& unit = burner_;
  discType_ = unit.TSCSIDevice::GetDiscType();
  unit.SetDiscType(discType_);
  if (discType_ != DiscKind::DVDRAM) unit.LoadEject(false);
  if (discType_ == DiscKind::DVDPlusRW) FormatBlankDVDPlusRW();
  if (discType_ != DiscKind::DVDPlusRW) unit.RezeroUnit();
  if (discType_ != DiscKind::DVDRAM) unit.SetCDSpeed(unit.ReadSpeed(), unit.WriteSpeed());
  unit.WaitUntilReady(10000, 1000);
  const uint16_t speed = unit.GetCurrentWriteSpeed();
  unit.SetClosingWriteParameters(discType_);
  const bool located = unit.ReadNextWritableAddress(startSector_);
  if (!located && DiscClosed()) {
    Refuse(kDiscClosedText);
    return false;
  }
  if (located && !StartsWhereLaidOut()) return false;
  if (unit.CheckCapacity() && !HasRoomForTrack(located)) return false;
  if (IsDVDMinus(discType_)) ReserveDVDMinusTrack();
  if (discType_ != DiscKind::DVDRAM && !unit.TestWrite() && unit.PerformOPC()) unit.SendOPCInformation();
  AnnounceWrite(speed);
  return true;
}

// A DVD+RW as bought takes no data before it is formatted; the formatting goes on in
// the background while the unit already accepts writes.
void TThWrite::FormatBlankDVDPlusRW() {
  TVortalBurner& unit = burner_;
  if (!unit.ReadDiscInfo() || unit.DiscInfo().DiscStatus() != scsi::DiscState::Blank) return;
  unit.DebugMessage(">>> FORMATTING BLANK DVD+RW", kDebugProgress);
  unit.FormatUnit(scsi::kFormatWithParameterList, scsi::kDVDPlusRWFormat);
  unit.WaitUntilReady(240000, 5000, [&unit] { return unit.AbortRequested(); });
}

// The image's sectors hold absolute addresses: written anywhere but where it was laid out
// for (another disc, or a DVD laid out from sector 0), the session would be unreadable.
bool TThWrite::StartsWhereLaidOut() {
  const uint32_t laidOut = burner_.Image().StartSector;
  if (startSector_ == laidOut) return true;
  char text[120];
  std::snprintf(text, sizeof(text), "NEXT WRITABLE ADDRESS %u IS NOT THE START OF THE IMAGE (%u)", startSector_,
                laidOut);
  Refuse(text);
  return false;
}

// A finalised disc (or a pressed one) takes no further session. Overwritable media
// report themselves complete once formatted, and are written from their start.
bool TThWrite::DiscClosed() {
  if (discType_ == DiscKind::DVDPlusRW || discType_ == DiscKind::DVDRAM) return false;
  return burner_.ReadDiscInfo() && burner_.DiscInfo().DiscStatus() == scsi::DiscState::Complete;
}

// Refuses, before anything is written, a disc whose free blocks cannot hold the track:
// the open track's free blocks on sequential media; on overwritable ones, which have no
// open track, the formatted capacity beyond the track's start. A disc that tells
// neither is left to the unit.
bool TThWrite::HasRoomForTrack(bool located) {
  TVortalBurner& unit = burner_;
  const scsi::TrackInformation& track = unit.TrackInfo();
  uint32_t free = 0;
  if (located && track.NextWritableValid())
    free = track.FreeBlocks();
  else if (unit.ReadFormatCapacities() && unit.FormattedBlocks() != 0)
    free = unit.FormattedBlocks() > startSector_ ? unit.FormattedBlocks() - startSector_ : 0;
  else
    return true;
  const int64_t needed = unit.GetTrackSize() + (IsDVDMinus(discType_) ? 1 : 0);
  if (needed <= free) return true;
  char text[120];
  std::snprintf(text, sizeof(text), "NOT ENOUGH SPACE ON DISC (%lld SECTORS NEEDED, %u FREE)",
                static_cast<long long>(needed), free);
  Refuse(text);
  return false;
}

void TThWrite::Refuse(const std::string& text) {
  burner_.DebugMessage("<<< " + text, kDebugFailure);
  Stop(text);
}

void TThWrite::ReserveDVDMinusTrack() {
  const std::vector<uint8_t> performance = DVDMinusPerformance();
  burner_.SetStreaming(performance);
  burner_.SendTimeStamp(EncodeDateTime(LocalNow().Local));
  burner_.ReserveTrack(static_cast<uint32_t>(burner_.GetTrackSize() + 1));
  burner_.WaitUntilReady(10000, 1000);
}

void TThWrite::AnnounceWrite(uint16_t speed) {
  const double shown = SpeedInDVDFactors(discType_) ? speed / 7.0 : speed;
  char text[96];
  std::snprintf(text, sizeof(text), "STARTING WRITE PROCESS ON %s AT %ldX", scsi::DiscTypeName(discType_),
                std::lround(shown));
  burner_.DebugMessage(std::string(">>> ") + text, kDebugProgress);
  if (burner_.TestWrite()) burner_.DebugMessage(">>> TEST/DUMMY WRITE", kDebugProgress);
}

// --- Streaming -------------------------------------------------------------------------

void TThWrite::Stream() {
  block_.resize(kCacheBlockBytes);
  int32_t taken = cache_->GetBlock(block_.data());
  // The unit's handle stays open while the blocks stream.
  burner_.Transport().SetCloseAfterCommand(false);
  while (taken != 0) {
    burner_.SetCurrentFile(cache_->CurrentFile());
    if (taken > 0) {
      burner_.bytesWritten_ += taken;
      PollBuffer();
      if (!WriteBlock(static_cast<uint32_t>(taken) / kSectorSize)) return;
    }
    for (;;) {
      if (burner_.AbortRequested()) return Stop(kAbortedByUserText);
      taken = cache_->GetBlock(block_.data());
      if (Failed()) return;
      if (taken != -1) break;
      burner_.writerSignal_.Wait();  // the cache is behind: wait for its next block
    }
  }
}

// Every fifth block the recorder's buffer is read for the progress display; a failed
// poll ends the polling.
void TThWrite::PollBuffer() {
  if (discType_ == DiscKind::DVDRAM) return;
  if (pollCountdown_ == 0) {
    uint32_t size = 0, free = 0;
    if (burner_.ReadBufferCapacity(size, free)) pollCountdown_ = kBlocksBetweenBufferPolls;
  }
  --pollCountdown_;
}

bool TThWrite::WriteBlock(uint32_t sectors) {
  const WriteRetryLimits& retries = burner_.WriteRetries();
  const std::span<const uint8_t> data(block_.data(), sectors * kSectorSize);
  for (uint32_t attempt = 1;; ++attempt) {
    if (burner_.AbortRequested()) {
      Stop(kAbortedByUserText);
      return false;
    }
    if (burner_.Write10(startSector_ + sectorsWritten_, static_cast<uint16_t>(sectors), kWriteDataOut, data)) {
      sectorsWritten_ += sectors;
      return true;
    }
    if (!burner_.UnitBusy()) {
      Stop(std::string(kWriterErrorText) + " [" + burner_.LastError() + "]");
      return false;
    }
    if (attempt >= retries.BusyAttempts) {
      Stop(kWriterBusyText);
      return false;
    }
    burner_.Sleep(retries.BusyDelayMs);
  }
}

void TThWrite::Stop(const std::string& text) {
  cache_->SetStatus(text);
  cache_->Abort();
}

void TThWrite::FailWithUnitText(const char* what) {
  if (Failed()) return;  // the first failure is the one reported
  const std::string& unitText = burner_.LastError();
  Stop(std::string(what) + " [" + (unitText.empty() ? std::string(kUnitTimeoutText) : unitText) + "]");
}

// --- Finishing -------------------------------------------------------------------------

void TThWrite::Finish() {
  TVortalBurner& unit = burner_;
  uint32_t size = 0, free = 0;
  if (discType_ != DiscKind::DVDRAM) unit.ReadBufferCapacity(size, free);
  if (IsDVDMinus(discType_))
    FlushDVDMinus();
  else
    Flush();
  unit.SetDeviceBufferSize(0);
  unit.SetDeviceFreeBufferSize(0);
  if (Failed()) return;  // an error or abort leaves the track open and the unit as it is
  if (!unit.TestWrite() && discType_ != DiscKind::DVDRAM && !IsDVDMinus(discType_) && unit.FinalizeTrack())
    CloseTrack();
  if (Failed()) return;
  if (!unit.WaitUntilReady(240000, 5000, [&unit] { return unit.AbortRequested(); }))
    return unit.AbortRequested() ? Stop(kAbortedByUserText) : FailWithUnitText(kLeadOutErrorText);
  if (discType_ != DiscKind::DVDRAM) unit.ReadBufferCapacity(size, free);
  unit.Transport().SetCloseAfterCommand(true);
  ReturnToIdle();
  if (unit.VerifyWrite() && !unit.TestWrite()) Verify();
}

// DVD-R/-RW: the flush writes the lead-out, which may take a quarter of an hour; the
// free-buffer indicator drains meanwhile until the unit answers again.
void TThWrite::FlushDVDMinus() {
  TVortalBurner& unit = burner_;
  if (unit.onFinalizingTrack_) unit.onFinalizingTrack_(&unit);
  if (unit.LongWriteUnit())
    unit.DebugMessage(">>> WRITING LEAD-OUT (THIS CAN TAKE APPROXIMATELY 15-20 MINUTES)", kDebugProgress);
  if (!unit.SynchronizeCache(1800000, true)) return FailWithUnitText(kFlushErrorText);
  unit.SetDeviceFreeBufferSize(unit.DeviceBufferSize());
  // Only a unit busy with the lead-out is waited for, and no longer than the flush's
  // own time-out.
  for (uint32_t waited = 0; !unit.ReadDiscInfo(); ++waited) {
    // A stop leaves the unit writing the lead-out, and the disc as it ends up.
    if (unit.AbortRequested()) return Failed() ? void() : Stop(kAbortedByUserText);
    if (!unit.UnitBusy() || waited >= kLeadOutSeconds) return FailWithUnitText(kLeadOutErrorText);
    unit.Sleep(1000);
    const uint32_t step = unit.DeviceBufferSize() / 960;
    const uint32_t left = unit.DeviceFreeBufferSize();
    unit.SetDeviceFreeBufferSize(left > step ? left - step : 0);
  }
}

void TThWrite::Flush() {
  TVortalBurner& unit = burner_;
  if (unit.onFinalizingTrack_) unit.onFinalizingTrack_(&unit);
  if (!unit.SynchronizeCache(120000, false) && !unit.SynchronizeCache(120000, true))
    FailWithUnitText(kFlushErrorText);
}

// The page now carries the real FinalizeDisc, so that the close leaves the disc open
// for another session or finalises it.
void TThWrite::CloseTrack() {
  TVortalBurner& unit = burner_;
  unit.SetWriteParameters({unit.TestWrite(), unit.UnderrunProtection()}, discType_);
  const bool closed = discType_ == DiscKind::DVDPlusR ? unit.CloseTrackSession(scsi::CloseFunction::Track, false) &&
                                                            unit.CloseTrackSession(scsi::CloseFunction::Finalize, true)
                                                      : CloseSession();
  if (!closed) FailWithUnitText(kCloseErrorText);
}

// Retries while the unit is busy; any other failure gets one more attempt.
bool TThWrite::CloseSession() {
  TVortalBurner& unit = burner_;
  const WriteRetryLimits& retries = unit.WriteRetries();
  for (uint32_t attempt = 0; attempt < retries.CloseAttempts; ++attempt) {
    if (unit.CloseTrackSession(scsi::CloseFunction::Session, unit.CloseImmediate())) return true;
    if (!unit.UnitBusy()) return unit.CloseTrackSession(scsi::CloseFunction::Session, unit.CloseImmediate());
    unit.Sleep(retries.CloseDelayMs);
  }
  return false;
}

void TThWrite::ReturnToIdle() {
  TVortalBurner& unit = burner_;
  unit.SetWriteParameters({}, DiscKind::CDR);
  unit.SetCDSpeed(unit.GetMaxReadSpeed(), 2);
  unit.RezeroUnit();
  unit.PreventAllowRemoval(true);
  unit.LoadEject(false);
  unit.RezeroUnit();
  unit.TestUnitReady(5000);
  if (discType_ != DiscKind::DVDRAM && !IsDVDMinus(discType_) && discType_ != DiscKind::DVDPlusRW) unit.RezeroUnit();
}

// --- Read-back -------------------------------------------------------------------------

// Reads the track back from its first sector and compares it with the image header and
// the files as they are on disk now, padding included.
void TThWrite::Verify() {
  ImageLayout& layout = burner_.Image();
  burner_.DebugMessage(">>> VERIFYING WRITTEN DATA", kDebugProgress);
  if (burner_.onVerifying_) burner_.onVerifying_(&burner_);
  uint32_t lba = startSector_;
  std::string error;
  const bool same = WriteTrackData(layout, [&](const uint8_t* data, size_t size) {
    return CompareWithDisc(data, size, lba);
  }, error);
  std::vector<uint8_t>().swap(layout.ImageHeader);  // kept for the read-back only
  if (same) {
    burner_.DebugMessage(">>> VERIFICATION SUCCESSFUL", kDebugProgress);
    return;
  }
  if (!verifyError_.empty()) error = verifyError_;
  burner_.DebugMessage("<<< " + error, kDebugFailure);
  cache_->SetStatus(error);
}

bool TThWrite::CompareWithDisc(const uint8_t* data, size_t size, uint32_t& lba) {
  std::vector<uint8_t>& disc = block_;
  for (size_t offset = 0; offset < size;) {
    if (burner_.AbortRequested()) {
      verifyError_ = kAbortedByUserText;
      return false;
    }
    const uint32_t sectors = static_cast<uint32_t>(std::min<size_t>(kBlockSectors, (size - offset) / kSectorSize));
    const std::span<uint8_t> into(disc.data(), sectors * kSectorSize);
    if (!ReadBack(lba, sectors, into)) return false;
    const auto diff = std::mismatch(into.begin(), into.end(), data + offset);
    if (diff.first != into.end()) {
      verifyError_ = VerifyErrorText(lba + static_cast<uint32_t>((diff.first - into.begin()) / kSectorSize),
                                     kDataDiffersText);
      return false;
    }
    offset += into.size();
    lba += sectors;
    burner_.bytesVerified_ += static_cast<int64_t>(into.size());
  }
  return true;
}

// A block the unit cannot read is read again sector by sector, so that the error names
// the sector that fails and the unit's reason for it.
bool TThWrite::ReadBack(uint32_t lba, uint32_t sectors, std::span<uint8_t> into) {
  if (burner_.Read10(lba, static_cast<uint16_t>(sectors), into)) return true;
  for (uint32_t n = 0; n < sectors; ++n) {
    if (burner_.Read10(lba + n, 1, into.subspan(size_t{n} * kSectorSize, kSectorSize))) continue;
    const std::string& unitText = burner_.LastError();
    verifyError_ = VerifyErrorText(lba + n, unitText.empty() ? kUnitTimeoutText : unitText);
    return false;
  }
  return true;  // every sector read on its own
}

std::string TThWrite::VerifyErrorText(uint32_t sector, const std::string& reason) {
  char text[64];
  std::snprintf(text, sizeof(text), "VERIFY ERROR AT SECTOR %u", sector);
  return std::string(text) + " [" + reason + "]";
}

// --- Report ----------------------------------------------------------------------------

void TThWrite::Report() {
  scsi::SCSITransportHub& transport = burner_.Transport();
  transport.SetCloseAfterCommand(true);
  // The pass-through emulation is released after a write, as after a blanking.
  if (transport.Name() == scsi::kPassThroughTransportName) transport.Reinitialize();
  const std::string file = cache_->CurrentFile();
  const std::string error = cache_->Status();
  burner_.LogCacheFailure(*cache_);
  cache_.reset();
  // The cache is gone and the read-back is over: the image may change again.
  if (imageReleased_) imageReleased_->Set();
  burner_.SetCurrentFile(file);
  burner_.WriteEnded(error);
  burner_.SetCurrentFile("");
}

}  // namespace kvx
