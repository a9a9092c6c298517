// What every burner of a program shares: the SCSI transport hub (and with it the claims
// on the units) and the guard that lets one write run at a time. The program makes
// one and hands it to each burner it places; tests make their own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "base/event.h"
#include "scsi/transport.h"

namespace kvx {

class TVortalBurner;

class BurnEngine {
 public:
  explicit BurnEngine(scsi::SCSITransportHub& transport) : transport_(transport) {}
  BurnEngine(const BurnEngine&) = delete;
  BurnEngine& operator=(const BurnEngine&) = delete;

  scsi::SCSITransportHub& Transport() const { return transport_; }

 private:
  friend class TVortalBurner;

  scsi::SCSITransportHub& transport_;
  std::mutex lock_;  // guards the two fields below
  TVortalBurner* activeBurner_ = nullptr;
  std::shared_ptr<Event> lastWriterFinished_;
  std::atomic<bool> userAbort_{false};
};

}  // namespace kvx
