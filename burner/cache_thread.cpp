#include "burner/cache_thread.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/exception_text.h"
#include "burner/iso_records.h"
#include "burner/stream_ex.h"

namespace kvx {
namespace {

std::unique_ptr<CacheBlock> NewBlock() {
  std::unique_ptr<CacheBlock> block(new CacheBlock);  // left uninitialised: it is filled at once
  block->Count = 0;
  return block;
}

int64_t PaddingBytes(bool padShortTrack, int64_t trackBytes) {
  return padShortTrack ? std::max<int64_t>(0, kShortTrackBytes - trackBytes) : 0;
}

ThreadPriority PriorityOf(uint8_t level) {
  switch (level) {
    case kCacheIdle: return ThreadPriority::Idle;
    case kCacheLowest: return ThreadPriority::Lowest;
    case kCacheLower: return ThreadPriority::Lower;
    default: return ThreadPriority::Normal;
  }
}

bool IsSourceFile(const TISOEntry& entry) {
  return entry.Directory == nullptr && !entry.SourcePath.empty() && entry.ISOSize > 0;
}

}  // namespace

TCacheThread::TCacheThread(uint32_t cacheSize, bool padShortTrack, int64_t trackBytes, std::vector<uint8_t>& header,
                           const std::vector<std::unique_ptr<TISOEntry>>& entries, Event& writerSignal,
                           bool keepHeader)
    : padShortTrack_(padShortTrack),
      // A queue of fewer than two blocks could never take one.
      maxBlocks_(std::max<uint32_t>(2, cacheSize / kCacheBytesPerBlock)),
      trackBytes_(trackBytes),
      remainingBytes_(trackBytes + PaddingBytes(padShortTrack, trackBytes)),
      header_(header),
      keepHeader_(keepHeader),
      entries_(entries),
      writerSignal_(writerSignal) {
  SetPriority(PriorityOf(kCacheLower));
  Start();
}

void TCacheThread::Execute() {
  try {
    if (QueueHeader() && QueueFiles()) {
      QueuePadding();
      MarkReady();
      WaitUntilDrained();
    }
  } catch (const std::bad_alloc&) {
    Fail("OUT OF MEMORY");
  } catch (...) {
    // Recorded before the status, so that whoever sees the status finds the cause.
    RecordFailure(std::string(kCacheFailureText) + ": " + CurrentExceptionText());
    Fail(kCacheFailureText);
  }
  if (aborted_) DropQueue();
  finished_ = true;
  writerSignal_.Set();
  settledSignal_.Set();
}

bool TCacheThread::QueueHeader() {
  const int64_t size = static_cast<int64_t>(header_.size());
  for (int64_t position = 0; position < size;) {
    std::unique_ptr<CacheBlock> block = NewBlock();
    block->Count = static_cast<uint32_t>(std::min<int64_t>(size - position, kCacheBlockBytes));
    std::memcpy(block->Data, header_.data() + position, block->Count);
    position += block->Count;
    Append(std::move(block));
    if (!WaitForRoom(false)) return false;
  }
  if (!keepHeader_) std::vector<uint8_t>().swap(header_);  // its memory is not needed any more
  return true;
}

bool TCacheThread::QueueFiles() {
  std::unique_ptr<CacheBlock> filling;
  for (const std::unique_ptr<TISOEntry>& entry : entries_)
    if (IsSourceFile(*entry) && !QueueFile(*entry, filling)) return false;
  if (filling && filling->Count > 0) Append(std::move(filling));
  return true;
}

// Reads one file into blocks, each read filling the rest of a block or ending the file;
// the file's last sector is completed with zeros and the next file starts on a sector.
bool TCacheThread::QueueFile(const TISOEntry& entry, std::unique_ptr<CacheBlock>& filling) {
  {
    LockGuard guard(lock_);
    currentFile_ = entry.SourcePath;
  }
  TFileStreamEx file(entry.SourcePath, kFileOpenRead | kFileShareDenyNone);
  if (!file.IsOpen()) {
    Fail(file.OpenError());
    return false;
  }
  for (int64_t remaining = entry.ISOSize; remaining > 0;) {
    if (!filling) filling = NewBlock();
    uint8_t* const at = filling->Data + filling->Count;
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(remaining, kCacheBlockBytes - filling->Count));
    // A file that shrank since the layout would leave stale bytes on the disc.
    if (file.Read(at, n) != n) {
      Fail(FileReadErrorText(entry.SourcePath));
      return false;
    }
    const int32_t padded = static_cast<int32_t>(RoundUpToSectors(n));
    std::memset(at + n, 0, static_cast<size_t>(padded - n));
    filling->Count += static_cast<uint32_t>(padded);
    remaining -= n;
    if (aborted_) return false;
    if (filling->Count == kCacheBlockBytes) Append(std::move(filling));
    SetPriorityLevel(CachePriorityLevel(QueueLength(), maxBlocks_));
    if (!WaitForRoom(true)) return false;
  }
  return true;
}

void TCacheThread::QueuePadding() {
  for (int64_t pad = PaddingBytes(padShortTrack_, trackBytes_); pad > 0;) {
    std::unique_ptr<CacheBlock> block = NewBlock();
    block->Count = static_cast<uint32_t>(std::min<int64_t>(pad, kCacheBlockBytes));
    std::memset(block->Data, 0, block->Count);
    pad -= block->Count;
    Append(std::move(block));
  }
}

// Everything is queued: stay until the writer has taken it all, or the write stops.
void TCacheThread::WaitUntilDrained() {
  for (;;) {
    {
      LockGuard guard(lock_);
      if (remainingBytes_ == 0) return;
    }
    if (aborted_) return;
    roomSignal_.Wait();
  }
}

void TCacheThread::Append(std::unique_ptr<CacheBlock> block) {
  {
    LockGuard guard(lock_);
    queue_.push_back(std::move(block));
    peakBlocks_ = std::max(peakBlocks_, queue_.size());
  }
  writerSignal_.Set();
}

size_t TCacheThread::QueueLength() const {
  LockGuard guard(lock_);
  return queue_.size();
}

bool TCacheThread::WaitForRoom(bool idleWhileFull) {
  for (;;) {
    if (QueueLength() + 1 < maxBlocks_) return true;
    if (idleWhileFull) SetPriorityLevel(kCacheIdle);
    if (aborted_) return false;
    MarkReady();
    roomSignal_.Wait();
  }
}

uint8_t CachePriorityLevel(size_t length, uint32_t maxBlocks) {
  if (length < maxBlocks / 4) return kCacheNormal;
  if (length < maxBlocks / 2) return kCacheLower;
  return kCacheLowest;
}

void TCacheThread::SetPriorityLevel(uint8_t level) {
  if (priorityLevel_.exchange(level) != level) SetPriority(PriorityOf(level));
}

void TCacheThread::MarkReady() {
  if (!ready_.exchange(true)) settledSignal_.Set();
}

void TCacheThread::Fail(const std::string& text) {
  SetStatus(text);
  writerSignal_.Set();
}

int32_t TCacheThread::GetBlock(uint8_t* buffer) {
  std::unique_ptr<CacheBlock> block;
  {
    LockGuard guard(lock_);
    if (aborted_ || remainingBytes_ == 0) return 0;
    if (queue_.empty()) return finished_ ? 0 : -1;
    block = std::move(queue_.front());
    queue_.pop_front();
    remainingBytes_ -= block->Count;
  }
  roomSignal_.Set();
  std::memcpy(buffer, block->Data, block->Count);
  return static_cast<int32_t>(block->Count);
}

void TCacheThread::Abort() {
  {
    LockGuard guard(lock_);
    if (status_.empty()) status_ = kAbortedByUserText;
  }
  StopReading();
}

void TCacheThread::StopReading() {
  aborted_ = true;
  roomSignal_.Set();
}

void TCacheThread::DropQueue() {
  LockGuard guard(lock_);
  queue_.clear();
}

void TCacheThread::WaitUntilSettled() { settledSignal_.Wait(); }

std::string TCacheThread::Status() const {
  LockGuard guard(lock_);
  return status_;
}

void TCacheThread::SetStatus(const std::string& text) {
  LockGuard guard(lock_);
  status_ = text;
}

std::string TCacheThread::CurrentFile() const {
  LockGuard guard(lock_);
  return currentFile_;
}

size_t TCacheThread::PeakBlocks() const {
  LockGuard guard(lock_);
  return peakBlocks_;
}

}  // namespace kvx
