// TSCSIDevice::Erase and the blanking thread.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "base/event.h"
#include "scsi/command_names.h"
#include "scsi/erase_thread.h"
#include "scsi/scsi_device.h"
#include "scsi/transport.h"

namespace kvx::scsi {
namespace {

constexpr uint8_t kNotReadyAsc = 0x04;

// FORMAT UNIT parameter list of a DVD-RAM: FOV and Immed, one format descriptor.
constexpr std::array<uint8_t, 12> kDvdRamFormat = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22,
                                                   0x21, 0x20, 0x00, 0x00, 0x08, 0x00};  // 2,236,704 blocks of 2048

bool SpeedShownInDvdX(uint16_t discType) { return discType == 5 || discType == 7 || discType == 8 || discType == 9; }

std::string SpeedText(double x) { return std::to_string(std::lround(x)) + "X"; }

uint16_t ExpectedSeconds(uint16_t discType, uint8_t blankType) {
  if (discType >= kDiscDvdRom) {
    if (blankType == 1) return discType == kDiscDvdMinusRw ? 120 : 600;
    return blankType == 0 ? 4440 : 8880;
  }
  if (blankType == 1) return 150;
  return 4500;
}

}  // namespace

bool TSCSIDevice::Erase(uint8_t blankType) {
  // One blanking at a time: the running thread owns the unit until it ends.
  if (erasing_) return false;
  TestUnitReady(5000);
  LoadEject(false);
  discType_ = GetDiscType();
  if (!TestUnitReady(5000) && !WaitUntilReady(30000, 5000)) return false;
  if (discType_ != kDiscDvdRam) {
    SetCDSpeed(readSpeed_, writeSpeed_);
    SetWriteParameters(false, false, discType_);
  }
  const uint16_t speed = GetCurrentWriteSpeed();
  if (!TestUnitReady(5000) && !WaitUntilReady(30000, 5000)) return false;

  std::string speedText;
  if (SpeedShownInDvdX(discType_)) {
    speedText = SpeedText(speed / 7.0);
  } else if (discType_ == kDiscDvdRam) {
    ReadFormatCapacities();
    speedText = SpeedText(1);
  } else {
    speedText = SpeedText(speed);
  }
  char line[128];
  std::snprintf(line, sizeof(line), "STARTING ERASE PROCESS ON %s AT %s", DiscTypeName(discType_), speedText.c_str());
  DebugMessage(std::string(">>> ") + line, kDebugProgress);

  bool started;
  if (discType_ == kDiscDvdRam)
    started = FormatUnit(0x11, kDvdRamFormat);
  else if (discType_ == kDiscDvdPlusRw)
    started = FormatUnit(0x11, kDvdPlusRwFormat);
  else
    started = Blank(blankType);
  if (!started) {
    erasing_ = false;
    FireEraseDone(true);
    return false;
  }
  auto* thread = new TEraseThread(*this, discType_, ExpectedSeconds(discType_, blankType));
  eraseFinished_ = thread->FinishedEvent();
  eraseProgress_ = 0;
  erasing_ = true;
  thread->Start();
  return true;
}

int TSCSIDevice::EraseProgress() const { return erasing_ ? eraseProgress_.load() : 0; }

void TSCSIDevice::FireEraseDone(bool withError) {
  if (onEraseDone_) onEraseDone_(this, withError);
}

TEraseThread::TEraseThread(TSCSIDevice& device, uint16_t discType, uint16_t durationSeconds)
    : device_(device), discType_(discType), duration_(durationSeconds) {
  SetFreeOnTerminate(true);
}

// The estimate never shows more than 100 although each loop polls at least once.
void TEraseThread::Progress() {
  const long percent = std::lround(elapsed_ * 100.0 / duration_);
  device_.eraseProgress_ = static_cast<int>(std::min(percent, 100L));
}

// TEST UNIT READY every sleepMs while the unit reports LOGICAL UNIT NOT READY.
void TEraseThread::PollUntilReady(uint32_t sleepMs, uint32_t stepSeconds) {
  do {
    Progress();
    if (!device_.TestUnitReady(5000)) device_.Sleep(sleepMs);
    elapsed_ += stepSeconds;
  } while (device_.LastAsc() == kNotReadyAsc && elapsed_ <= duration_);
}

void TEraseThread::PollDiscInformation() {
  do {
    Progress();
    device_.ReadDiscInfo();
    if (device_.LastAsc() == kNotReadyAsc) device_.Sleep(5000);
    elapsed_ += 5;
  } while (device_.LastAsc() == kNotReadyAsc && elapsed_ <= duration_);
}

void TEraseThread::PollRequestSense() {
  uint8_t asc;
  do {
    Progress();
    std::array<uint8_t, 40> answer{};
    device_.RequestSense(answer);
    asc = answer[0] == 0xF0 ? kNotReadyAsc : answer[12];
    device_.Sleep(2000);
  } while (asc != 0 && (elapsed_ += 2) <= duration_);
}

void TEraseThread::Execute() {
  Progress();
  SetPassThroughCloseAfterCommand(false);
  if (device_.LongWriteUnit()) PollUntilReady(2000, 2);
  if (device_.UjdaTdkUnit()) {
    PollUntilReady(2000, 2);
    device_.ReadDiscInfo();
    device_.Sleep(5000);
  }
  if (!device_.TestUnitReady(5000) || !device_.ReadDiscInfo()) {
    if (discType_ != kDiscDvdRam) PollDiscInformation();
    PollUntilReady(2000, 2);
    PollRequestSense();
  }
  // The emulation's unit table is rebuilt after every blanking.
  if (TransportName() == kPassThroughTransportName) ReinitializeTransport();
  device_.eraseProgress_ = 100;
  device_.FireEraseDone(false);
  ResetUnit();
  device_.erasing_ = false;
}

// Back to track-at-once parameters, 2X writing, tray unlocked and loaded.
void TEraseThread::ResetUnit() {
  device_.SetWriteParameters(false, false, kDiscCdRom);
  device_.SetCDSpeed(device_.GetMaxReadSpeed(), 2);
  SetPassThroughCloseAfterCommand(true);
  device_.RezeroUnit();
  device_.PreventAllowRemoval(true);
  device_.LoadEject(false);
  device_.RezeroUnit();
  device_.TestUnitReady(5000);
}

}  // namespace kvx::scsi
