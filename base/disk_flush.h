// Writing what the system still holds in memory for a file or a folder tree to the
// disk, so that a power cut after the call finds it there.
#pragma once

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

namespace kvx {

// True when the file's data reached the disk.
bool FlushFileToDisk(const std::filesystem::path& file);
// Every file under the folder (and, where the system keeps them apart, every folder's
// list of names); true when all of them reached the disk.
bool FlushTreeToDisk(const std::filesystem::path& folder);

// Flushes the files that appear under a folder while another step fills it (an
// extraction), so that the final FlushTreeToDisk finds little left to write: the disk
// works while the extraction computes. Best effort; the final flush is what counts.
class BackgroundFlush {
 public:
  explicit BackgroundFlush(std::filesystem::path folder);
  ~BackgroundFlush() { Stop(); }
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;
  void Stop();

 private:
  void Run();

  std::filesystem::path folder_;
  std::atomic<bool> stop_{false};
  std::set<std::filesystem::path> flushed_;  // the thread's own
  std::thread thread_;
};

}  // namespace kvx
