#include <chrono>
#include <system_error>

#include "base/disk_flush.h"

namespace kvx {

namespace fs = std::filesystem;

BackgroundFlush::BackgroundFlush(fs::path folder) : folder_(std::move(folder)), thread_([this] { Run(); }) {}

void BackgroundFlush::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

// Each file once, as it is found: one still being written is flushed again by the final pass.
void BackgroundFlush::Run() {
  while (!stop_) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder_, error), end; !stop_ && !error && it != end; it.increment(error))
      if (it->is_regular_file(error) && flushed_.insert(it->path()).second) FlushFileToDisk(it->path());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace kvx
