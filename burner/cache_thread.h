// The read-ahead cache of a burn: a worker that reads the image header and then every
// file of the layout, in layout order and padded to sectors, into a queue of blocks of
// 31 sectors, so that the writer is fed from memory. It lowers its own priority as the
// queue fills and raises it again as the writer drains it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/event.h"
#include "base/lock.h"
#include "base/thread.h"
#include "burner/image_layout.h"

namespace kvx {

inline constexpr int32_t kCacheBlockBytes = 63488;  // 31 sectors, the data of one WRITE (10)
inline constexpr int64_t kShortTrackBytes = 614400;  // 300 sectors: shorter tracks may be padded
inline constexpr const char* kCacheFailureText = "READ-AHEAD CACHE FAILURE";
inline constexpr uint32_t kCacheBytesPerBlock = 65536;

#pragma pack(push, 1)
struct CacheBlock {
  uint8_t Data[kCacheBlockBytes];
  uint32_t Count;  // valid bytes of Data
};
#pragma pack(pop)
static_assert(sizeof(CacheBlock) == 63492);

// The queue's priority levels, as recorded in PriorityLevel.
inline constexpr uint8_t kCacheIdle = 0, kCacheLowest = 1, kCacheLower = 2, kCacheNormal = 3;

// Priority of the cache for a queue of Length blocks: normal while it holds less than a
// quarter of MaxBlocks, lower below half, lowest above (idle when full).
uint8_t CachePriorityLevel(size_t length, uint32_t maxBlocks);

inline constexpr const char* kAbortedByUserText = "OPERATION ABORTED BY USER";

class TCacheThread final : public TThread {
 public:
  // Starts reading at once. Header is emptied once it is queued, unless KeepHeader (for
  // a read-back after the write); Entries must not change until the thread is gone.
  // WriterSignal is set whenever the writer may find something new: a block, the end of
  // the data, a failure.
  TCacheThread(uint32_t cacheSize, bool padShortTrack, int64_t trackBytes, std::vector<uint8_t>& header,
               const std::vector<std::unique_ptr<TISOEntry>>& entries, Event& writerSignal, bool keepHeader = false);

  // Copies the first queued block into Buffer (kCacheBlockBytes at least): its byte
  // count; -1 when no block is queued yet; 0 when nothing more will come (all data
  // taken, the cache finished, or aborted).
  int32_t GetBlock(uint8_t* buffer);
  // Stops reading and drops the queue; "OPERATION ABORTED BY USER" unless a status is set.
  void Abort();
  // Blocks until the writer may start (Ready) or the cache has ended without being ready.
  void WaitUntilSettled();

  bool Ready() const { return ready_; }
  bool Finished() const { return finished_; }
  // Empty while all is well, else the text that ends the write. When the reading failed
  // with an exception, Failure() holds the log line that names it.
  std::string Status() const;
  void SetStatus(const std::string& text);
  // Source path of the file being read.
  std::string CurrentFile() const;

  uint32_t MaxBlocks() const { return maxBlocks_; }
  uint8_t PriorityLevel() const { return priorityLevel_; }
  // Largest number of blocks the queue has held (for checks of the cache size).
  size_t PeakBlocks() const;

 protected:
  void Execute() override;
  // The cache ends once its reading is stopped.
  void RequestStop() override { StopReading(); }

 private:
  bool QueueHeader();
  bool QueueFiles();
  bool QueueFile(const TISOEntry& entry, std::unique_ptr<CacheBlock>& filling);
  void QueuePadding();
  void WaitUntilDrained();
  void Append(std::unique_ptr<CacheBlock> block);
  size_t QueueLength() const;
  // Waits while the queue is full; false when aborted meanwhile.
  bool WaitForRoom(bool idleWhileFull);
  void SetPriorityLevel(uint8_t level);
  void MarkReady();
  void Fail(const std::string& text);
  void StopReading();
  void DropQueue();

  mutable CriticalSection lock_;  // guards the queue, the counters, the texts
  std::deque<std::unique_ptr<CacheBlock>> queue_;
  const bool padShortTrack_;
  const uint32_t maxBlocks_;
  std::atomic<uint8_t> priorityLevel_{kCacheLower};
  std::atomic<bool> aborted_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> ready_{false};
  const int64_t trackBytes_;
  int64_t remainingBytes_;  // still to deliver to the writer, padding included
  std::string currentFile_;
  std::string status_;
  size_t peakBlocks_ = 0;
  std::vector<uint8_t>& header_;
  const bool keepHeader_;
  const std::vector<std::unique_ptr<TISOEntry>>& entries_;
  Event& writerSignal_;
  Event roomSignal_{false};    // auto-reset: a block was taken, or abort
  Event settledSignal_{true};  // manual-reset: ready, or ended
};

}  // namespace kvx
