#include "standins/aspi/recorder_clock.h"

#include <chrono>
#include <thread>

namespace kvx::aspi {
namespace {

class SteadyClock : public RecorderClock {
 public:
  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

RecorderClock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace kvx::aspi
