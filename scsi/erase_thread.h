// TEraseThread: follows a unit that blanks or formats a disc until it is ready again,
// publishing a progress estimate, then fires OnEraseDone with how it ended and puts the
// unit back to its idle state. Created by TSCSIDevice::Erase, which owns and joins it.
#pragma once

#include <cstdint>
#include <string>

#include "base/thread.h"
#include "scsi/disc_kinds.h"

namespace kvx::scsi {

class TSCSIDevice;

class TEraseThread : public TThread {
 public:
  // durationSeconds: how long the blanking is expected to take; progress is the
  // polling time spent so far against it.
  TEraseThread(TSCSIDevice& device, DiscKind discType, uint16_t durationSeconds);

 protected:
  void Execute() override;

 private:
  void Progress();
  bool Follow();
  // After a failed poll: whether the unit is still busy; otherwise error_ takes its answer.
  bool StillBusy();
  // Waits ms; false when asked to stop meanwhile (error_ then says so).
  bool Pause(uint32_t ms);
  // False when the blanking ended in error (error_).
  bool PollUntilReady(uint32_t sleepMs, uint32_t stepSeconds);
  bool PollDiscInformation();
  bool PollRequestSense();
  void ResetUnit();

  TSCSIDevice& device_;
  const DiscKind discType_;
  const uint16_t duration_;
  uint32_t elapsed_ = 0;  // estimated seconds, advanced by each poll
  std::string error_;     // why the blanking did not end well
};

}  // namespace kvx::scsi
