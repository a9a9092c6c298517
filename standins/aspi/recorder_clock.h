// Time as the virtual recorders see it: the system's steady clock, or a manual clock
// that tests advance (its sleeps advance it at once).
#pragma once

#include <atomic>
#include <cstdint>

namespace kvx::aspi {

class RecorderClock {
 public:
  virtual ~RecorderClock() = default;
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

RecorderClock& SystemClock();

class ManualClock : public RecorderClock {
 public:
  uint64_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override { Advance(ms); }
  void Advance(uint64_t ms) { now_ += ms; }

 private:
  std::atomic<uint64_t> now_{0};
};

}  // namespace kvx::aspi
