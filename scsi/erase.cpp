// TSCSIDevice::Erase and the blanking thread.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "base/exception_text.h"
#include "scsi/command_names.h"
#include "scsi/erase_thread.h"
#include "scsi/scsi_device.h"
#include "scsi/sense_text.h"
#include "scsi/transport.h"

namespace kvx::scsi {
namespace {

constexpr const char* kUnitNotReadyText = "UNIT NOT READY";
constexpr const char* kUnitWritingText = "A WRITE IS RUNNING ON THIS UNIT";
constexpr const char* kUnitErasingText = "AN ERASE IS RUNNING ON THIS UNIT";
constexpr const char* kEraseTimeoutText = "ERASE TIMEOUT";
constexpr const char* kEraseFailureText = "ERASE FAILURE";

// FORMAT UNIT parameter list of a DVD-RAM: FOV and Immed, one format descriptor.
constexpr std::array<uint8_t, 12> kDVDRAMFormat = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22,
                                                   0x21, 0x20, 0x00, 0x00, 0x08, 0x00};  // 2,236,704 blocks of 2048

bool SpeedShownInDVDX(DiscKind discType) { return IsDVDMinus(discType) || discType == DiscKind::DVDPlusRW; }

std::string SpeedText(double x) { return std::to_string(std::lround(x)) + "X"; }

uint16_t ExpectedSeconds(DiscKind discType, BlankType blankType) {
  if (Code(discType) >= Code(DiscKind::DVDROM)) {
    if (blankType == BlankType::Minimal) return discType == DiscKind::DVDMinusRW ? 120 : 600;
    return blankType == BlankType::WholeDisc ? 4440 : 8880;
  }
  if (blankType == BlankType::Minimal) return 150;
  return 4500;
}

}  // namespace

bool TSCSIDevice::Erase(BlankType blankType) {
  // One blanking at a time: the running thread owns the unit and reports its own end.
  if (erasing_) return false;
  UnitUse holder = UnitUse::None;
  if (!transport_.Claims().Claim(Address(), UnitUse::Erasing, holder)) {
    FireEraseDone(true, holder == UnitUse::Writing ? kUnitWritingText : kUnitErasingText);
    return false;
  }
  erasingUnit_ = Address();
  std::string notReady;
  TestUnitReady(5000);
  LoadEject(false);
  discType_ = GetDiscType();
  if (!ReadyForErase(notReady)) return RefuseErase(notReady);
  if (discType_ != DiscKind::DVDRAM) {
    SetCDSpeed(readSpeed_, writeSpeed_);
    SetWriteParameters({}, discType_);
  }
  const uint16_t speed = GetCurrentWriteSpeed();
  if (!ReadyForErase(notReady)) return RefuseErase(notReady);
  AnnounceErase(speed);
  if (!StartBlanking(blankType)) return RefuseErase(LastError());
  eraseProgress_ = 0;
  erasing_ = true;
  // The last blanking's thread has reported its end: replacing it joins it.
  eraseThread_ = MakeOwnedThread<TEraseThread>(*this, discType_, ExpectedSeconds(discType_, blankType));
  eraseThread_->Start();
  return true;
}

// A DVD-RAM's speed is not asked: its capacities are read instead and 1X is shown.
void TSCSIDevice::AnnounceErase(uint16_t speed) {
  std::string speedText;
  if (SpeedShownInDVDX(discType_)) {
    speedText = SpeedText(speed / 7.0);
  } else if (discType_ == DiscKind::DVDRAM) {
    ReadFormatCapacities();
    speedText = SpeedText(1);
  } else {
    speedText = SpeedText(speed);
  }
  char line[128];
  std::snprintf(line, sizeof(line), "STARTING ERASE PROCESS ON %s AT %s", DiscTypeName(discType_), speedText.c_str());
  DebugMessage(std::string(">>> ") + line, kDebugProgress);
}

// DVD-RAM and DVD+RW are formatted, the other discs blanked.
bool TSCSIDevice::StartBlanking(BlankType blankType) {
  if (discType_ == DiscKind::DVDRAM) return FormatUnit(kFormatWithParameterList, kDVDRAMFormat);
  if (discType_ == DiscKind::DVDPlusRW) return FormatUnit(kFormatWithParameterList, kDVDPlusRWFormat);
  return Blank(blankType);
}

// Ready now, or once the unit has ended what it was busy with; else notReady gets the
// unit's answer.
bool TSCSIDevice::ReadyForErase(std::string& notReady) {
  if (TestUnitReady(5000)) return true;
  notReady = LastError();
  return WaitUntilReady(30000, 5000);
}

bool TSCSIDevice::RefuseErase(const std::string& error) {
  transport_.Claims().Release(erasingUnit_, UnitUse::Erasing);
  FireEraseDone(true, error.empty() ? kUnitNotReadyText : error);
  return false;
}

void TSCSIDevice::StopErase() {
  if (eraseThread_) eraseThread_->Terminate();
}

int TSCSIDevice::EraseProgress() const { return erasing_ ? eraseProgress_.load() : 0; }

void TSCSIDevice::FireEraseDone(bool withError, const std::string& error) {
  if (onEraseDone_) onEraseDone_(this, withError, error);
}

TEraseThread::TEraseThread(TSCSIDevice& device, DiscKind discType, uint16_t durationSeconds)
    : device_(device), discType_(discType), duration_(durationSeconds) {}

// The estimate never shows more than 100 although each loop polls at least once.
void TEraseThread::Progress() {
  const long percent = std::lround(elapsed_ * 100.0 / duration_);
  device_.eraseProgress_ = static_cast<int>(std::min(percent, 100L));
}

bool TEraseThread::StillBusy() {
  if (device_.UnitBusy()) return true;
  error_ = device_.LastError();
  return false;
}

// Waits ms unless asked to stop; then error_ says the blanking was stopped.
bool TEraseThread::Pause(uint32_t ms) {
  if (device_.Pause(ms, [this] { return Terminated(); })) return true;
  error_ = kEraseStoppedText;
  return false;
}

// TEST UNIT READY every sleepMs while the unit reports LOGICAL UNIT NOT READY.
bool TEraseThread::PollUntilReady(uint32_t sleepMs, uint32_t stepSeconds) {
  do {
    Progress();
    if (!device_.TestUnitReady(5000)) {
      if (!StillBusy() || !Pause(sleepMs)) return false;
    }
    elapsed_ += stepSeconds;
  } while (device_.LastASC() == kASCNotReady && elapsed_ <= duration_);
  return true;
}

bool TEraseThread::PollDiscInformation() {
  do {
    Progress();
    if (!device_.ReadDiscInfo()) {
      if (!StillBusy() || !Pause(5000)) return false;
    }
    elapsed_ += 5;
  } while (device_.LastASC() == kASCNotReady && elapsed_ <= duration_);
  return true;
}

// The unit shows the blanking's outcome in its sense data: busy (ASC 04h, or the
// VALID bit of the progress indication), done (no sense), or the failure. A unit
// attention is passed over.
bool TEraseThread::PollRequestSense() {
  std::array<uint8_t, 40> answer{};
  bool busy;
  do {
    Progress();
    answer.fill(0);
    if (!device_.RequestSense(answer)) {
      error_ = device_.LastError();
      return false;
    }
    const uint8_t asc = answer[12];
    busy = ValidFixedSense(answer[0]) || asc == kASCNotReady || SenseKeyOf(answer.data()) == SenseKey::UnitAttention;
    if (!busy && asc != 0) {
      error_ = SenseText(answer.data());
      return false;
    }
    if (!Pause(2000)) return false;
  } while (busy && (elapsed_ += 2) <= duration_);
  if (busy) error_ = std::string(kEraseTimeoutText) + " [" + SenseText(answer.data()) + "]";
  return !busy;
}

// Follows the unit until the blanking has ended; false when it ended otherwise (error_).
bool TEraseThread::Follow() {
  if (device_.LongWriteUnit() && !PollUntilReady(2000, 2)) return false;
  if (device_.UjdaTdkUnit()) {
    if (!PollUntilReady(2000, 2)) return false;
    if (!device_.ReadDiscInfo() && !StillBusy()) return false;
    if (!Pause(5000)) return false;
  }
  if (device_.TestUnitReady(5000) && device_.ReadDiscInfo()) return true;
  if (!StillBusy()) return false;
  if (discType_ != DiscKind::DVDRAM && !PollDiscInformation()) return false;
  return PollUntilReady(2000, 2) && PollRequestSense();
}

void TEraseThread::Execute() {
  Progress();
  SCSITransportHub& transport = device_.Transport();
  transport.SetCloseAfterCommand(false);
  bool blanked = false;
  try {
    blanked = Follow();
  } catch (...) {
    device_.DebugMessage(std::string("<<< ") + kEraseFailureText + ": " + CurrentExceptionText(), kDebugFailure);
    error_ = kEraseFailureText;
  }
  // The emulation's unit table is rebuilt after every blanking.
  if (transport.Name() == kPassThroughTransportName) transport.Reinitialize();
  device_.eraseProgress_ = 100;
  device_.FireEraseDone(!blanked, error_);
  ResetUnit();
  transport.Claims().Release(device_.erasingUnit_, UnitUse::Erasing);
  device_.erasing_ = false;
}

// Back to track-at-once parameters, 2X writing, tray unlocked and loaded.
void TEraseThread::ResetUnit() {
  device_.SetWriteParameters({}, DiscKind::CDROM);
  device_.SetCDSpeed(device_.GetMaxReadSpeed(), 2);
  device_.Transport().SetCloseAfterCommand(true);
  device_.RezeroUnit();
  device_.PreventAllowRemoval(true);
  device_.LoadEject(false);
  device_.RezeroUnit();
  device_.TestUnitReady(5000);
}

}  // namespace kvx::scsi
