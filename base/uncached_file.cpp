#include "base/uncached_file.h"

#include <algorithm>
#include <cstring>

#include "base/checked_size.h"
#include "base/uncached_file_system.h"

namespace kvx {

UncachedFile::UncachedFile() = default;
UncachedFile::~UncachedFile() = default;

bool UncachedFile::Open(const std::filesystem::path& path, std::string& error) {
  system_.reset();
  size_ = 0;
  bufferStart_ = 0;
  bufferHeld_ = 0;
  if (!OpenUncached(path, system_, error)) return false;
  size_ = system_->size;
  return true;
}

bool UncachedFile::IsOpen() const { return system_ != nullptr; }

bool UncachedFile::Read(uint64_t offset, void* buffer, size_t size, std::string& error) {
  if (!system_ || !RangeWithin(offset, size, size_)) {
    error = "lecture hors du fichier";
    return false;
  }
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    if (offset < bufferStart_ || offset - bufferStart_ >= bufferHeld_) {
      if (!Fill(offset - offset % system_->sector, error)) return false;
    }
    const auto at = static_cast<size_t>(offset - bufferStart_);
    const size_t take = std::min(size, bufferHeld_ - at);
    std::memcpy(out, system_->buffer + at, take);
    out += take;
    offset += take;
    size -= take;
  }
  return true;
}

// Up to the buffer's capacity or the file's end, whose last sector is read whole: only
// the file's bytes of it are kept.
bool UncachedFile::Fill(uint64_t start, std::string& error) {
  const auto wanted = static_cast<size_t>(std::min<uint64_t>(size_ - start, system_->capacity));
  const size_t length = (wanted + system_->sector - 1) / system_->sector * system_->sector;
  size_t got = 0;
  bufferHeld_ = 0;
  if (!system_->ReadSectors(start, length, got, error)) return false;
  if (got < wanted) {
    error = "lecture incomplète";
    return false;
  }
  bufferStart_ = start;
  bufferHeld_ = wanted;
  return true;
}

}  // namespace kvx
