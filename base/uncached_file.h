// A file read back from its medium rather than from what the system keeps of it in
// memory: right after a write, an ordinary read is answered by the system's cache, and a
// disk that stored something else would go unseen. The file is read in whole sectors at
// sector offsets (what unbuffered reading demands), through a buffer of the reader's own
// that also serves the next read when it falls inside what was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace kvx {

class UncachedFile {
 public:
  UncachedFile();
  ~UncachedFile();
  UncachedFile(const UncachedFile&) = delete;
  UncachedFile& operator=(const UncachedFile&) = delete;

  // Opens the file for reading from the medium, what was written to it first sent there;
  // false with why. A volume that cannot read around the cache is read through it.
  bool Open(const std::filesystem::path& path, std::string& error);
  bool IsOpen() const;
  uint64_t Size() const { return size_; }

  // Exactly size bytes at offset into buffer; false with why when the range lies outside
  // the file or a read fails or comes back short.
  bool Read(uint64_t offset, void* buffer, size_t size, std::string& error);

 // The open file in the system's own terms (base/uncached_file_system.h).
  class System;

 private:

  // Fills the buffer with the sectors from `start` (a multiple of the sector size).
  bool Fill(uint64_t start, std::string& error);

  std::unique_ptr<System> system_;
  uint64_t size_ = 0;
  uint64_t bufferStart_ = 0;  // the file offset of the buffer's first byte
  size_t bufferHeld_ = 0;     // the file's bytes the buffer holds from there
};

}  // namespace kvx
