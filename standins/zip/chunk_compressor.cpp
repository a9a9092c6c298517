#include "standins/zip/chunk_compressor.h"

#include <zlib.h>

namespace kvxzip {
namespace {

// One raw deflate stream per worker, reset for each chunk.
class Deflater {
 public:
  explicit Deflater(int level) { ok_ = deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
  ~Deflater() {
    if (ok_) deflateEnd(&stream_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool Compress(Chunk& chunk) {
    if (!ok_ || deflateReset(&stream_) != Z_OK) return false;
    if (!chunk.dictionary.empty() &&
        deflateSetDictionary(&stream_, chunk.dictionary.data(), static_cast<uInt>(chunk.dictionary.size())) != Z_OK)
      return false;
    chunk.output.resize(deflateBound(&stream_, chunk.input.size()) + 16);
    stream_.next_in = chunk.input.data();
    stream_.avail_in = static_cast<uInt>(chunk.input.size());
    stream_.next_out = chunk.output.data();
    stream_.avail_out = static_cast<uInt>(chunk.output.size());
    const int flush = chunk.last ? Z_FINISH : Z_SYNC_FLUSH;
    const int status = deflate(&stream_, flush);
    const bool complete = chunk.last ? status == Z_STREAM_END : (status == Z_OK && stream_.avail_in == 0 && stream_.avail_out > 0);
    chunk.output.resize(chunk.output.size() - stream_.avail_out);
    return complete;
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

void Finish(Chunk& chunk, Deflater* deflater) {
  chunk.crc = static_cast<uint32_t>(crc32(0, chunk.input.data(), static_cast<uInt>(chunk.input.size())));
  const bool deflated = deflater && deflater->Compress(chunk);
  if (deflater && !deflated) chunk.failed = !chunk.mayStore;
  if (!deflater || !deflated || (chunk.mayStore && chunk.output.size() >= chunk.input.size())) {
    chunk.stored = true;
    chunk.output.swap(chunk.input);
  }
  chunk.input.clear();  // buffers keep their capacity: the writer hands chunks back for reuse
}

}  // namespace

ChunkCompressor::ChunkCompressor(int level, unsigned threads) : level_(level) {
  for (unsigned i = 0; i < (threads ? threads : 1); ++i) workers_.emplace_back([this] { Work(); });
}

ChunkCompressor::~ChunkCompressor() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ChunkCompressor::Submit(const std::shared_ptr<Chunk>& chunk) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(chunk);
  }
  queued_.notify_one();
}

void ChunkCompressor::Wait(const Chunk& chunk) {
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return chunk.done; });
}

// An exception must not end a worker (nor the process): without memory for a deflate
// stream the worker stores its chunks, and a chunk it cannot finish fails its member.
void ChunkCompressor::Work() {
  std::unique_ptr<Deflater> deflater;
  try {
    if (level_ > 0) deflater = std::make_unique<Deflater>(level_);
  } catch (...) {
  }
  for (;;) {
    std::shared_ptr<Chunk> chunk;
    {
      std::unique_lock lock(mutex_);
      queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      chunk = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      Finish(*chunk, deflater.get());
    } catch (...) {
      chunk->failed = true;
    }
    {
      std::lock_guard lock(mutex_);
      chunk->done = true;
    }
    finished_.notify_all();
  }
}

}  // namespace kvxzip
