#include "standins/zip/file_system.h"

#include <algorithm>
#include <vector>

namespace kvxzip {
namespace {

constexpr size_t kStreamBuffer = 1 << 20;  // few large writes: headers are small, data comes in chunks

int SeekTo(std::FILE* stream, uint64_t position, int origin) {
#if defined(_WIN32)
  return _fseeki64(stream, static_cast<long long>(position), origin);
#else
  return fseeko(stream, static_cast<off_t>(position), origin);
#endif
}

uint64_t TellOf(std::FILE* stream) {
#if defined(_WIN32)
  return static_cast<uint64_t>(_ftelli64(stream));
#else
  return static_cast<uint64_t>(ftello(stream));
#endif
}

}  // namespace

bool File::Open(const std::string& path, Mode mode) {
  Close();
  stream_ = OpenStream(path, mode == Mode::Write);
  if (stream_ && mode == Mode::Write) std::setvbuf(stream_, nullptr, _IOFBF, kStreamBuffer);
  return stream_ != nullptr;
}

// A short read is the end of the file only when the stream did not fail.
size_t File::Read(void* buffer, size_t size) {
  if (!size) return 0;
  size_t allowed = size;
  if (readLimit_ != UINT64_MAX) {
    const uint64_t at = TellOf(stream_);
    allowed = static_cast<size_t>(std::min<uint64_t>(size, at < readLimit_ ? readLimit_ - at : 0));
  }
  const size_t got = std::fread(buffer, 1, allowed, stream_);
  if (got == allowed && allowed < size) {
    SetSimulatedError(SimulatedError::DeviceError);
    readError_ = SystemErrorText();
  } else if (got < allowed && std::ferror(stream_)) {
    readError_ = SystemErrorText();
  }
  return got;
}

bool File::Write(const void* buffer, size_t size) {
  if (!size) return true;
  if (corruptAt_ != UINT64_MAX) {
    const uint64_t at = TellOf(stream_);
    if (at <= corruptAt_ && corruptAt_ - at < size) {
      std::vector<uint8_t> altered(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + size);
      altered[static_cast<size_t>(corruptAt_ - at)] ^= 0x20;
      const uint64_t position = corruptAt_;
      corruptAt_ = UINT64_MAX;
      const bool written = Write(altered.data(), size);
      corruptAt_ = position;
      return written;
    }
  }
  if (sizeLimit_ != UINT64_MAX) {
    const uint64_t at = TellOf(stream_);
    if (at + size > sizeLimit_) {
      std::fwrite(buffer, 1, at < sizeLimit_ ? static_cast<size_t>(sizeLimit_ - at) : 0, stream_);
      return false;
    }
  }
  return std::fwrite(buffer, 1, size, stream_) == size;
}

bool File::Seek(uint64_t position) { return SeekTo(stream_, position, SEEK_SET) == 0; }

uint64_t File::Size() {
  const uint64_t here = TellOf(stream_);
  SeekTo(stream_, 0, SEEK_END);
  const uint64_t size = TellOf(stream_);
  SeekTo(stream_, here, SEEK_SET);
  return size;
}

bool File::Flush() { return stream_ && !flushFails_ && std::fflush(stream_) == 0 && FlushToMedium(stream_); }

bool File::Close() {
  if (!stream_) return true;
  const bool ok = std::fclose(stream_) == 0;
  stream_ = nullptr;
  return ok;
}

}  // namespace kvxzip
