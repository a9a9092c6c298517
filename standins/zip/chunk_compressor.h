// Deflates chunks of member data on worker threads. Chunks of one member are
// compressed independently (each primed with the previous 32 KiB of its member) and
// joined at byte-aligned block boundaries, so they make one deflate stream; the
// caller hands chunks in and takes them back in the same order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kvxzip {

inline constexpr size_t kDictionarySize = 32 * 1024;

struct Chunk {
  std::vector<uint8_t> input;
  std::vector<uint8_t> dictionary;  // the member's previous bytes, at most 32 KiB
  bool last = false;                // ends the member's stream
  bool mayStore = false;            // the whole member: keep it stored when deflate does not shrink it
  // Results, valid once done.
  std::vector<uint8_t> output;
  uint32_t crc = 0;
  bool stored = false;
  bool failed = false;
  bool done = false;
};

class ChunkCompressor {
 public:
  // level 0 stores (the workers only compute CRC-32s); 1 to 9 deflate.
  ChunkCompressor(int level, unsigned threads);
  ~ChunkCompressor();
  ChunkCompressor(const ChunkCompressor&) = delete;
  ChunkCompressor& operator=(const ChunkCompressor&) = delete;

  void Submit(const std::shared_ptr<Chunk>& chunk);
  // Blocks until the chunk's results are ready.
  void Wait(const Chunk& chunk);

 private:
  void Work();

  const int level_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<Chunk>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace kvxzip
