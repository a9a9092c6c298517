// What each system gives the uncached reader (base/uncached_file.h): the file opened past
// the cache, and a buffer its unbuffered reads accept. For uncached_file*.cpp only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/uncached_file.h"

namespace kvx {

class UncachedFile::System {
 public:
  virtual ~System() = default;

  // Reads length bytes at start (both multiples of sector) into buffer; got is how many
  // the file had there, fewer only at its end.
  virtual bool ReadSectors(uint64_t start, size_t length, size_t& got, std::string& error) = 0;

  uint64_t size = 0;
  size_t sector = 4096;       // a power of two
  char* buffer = nullptr;     // aligned to sector
  size_t capacity = 0;        // a multiple of sector
};

// The reader's buffer: a few sequential chunks of the callers' reads at once.
inline constexpr size_t kUncachedBuffer = size_t{2} << 20;

// The file opened for reading from the medium; false with why.
bool OpenUncached(const std::filesystem::path& path, std::unique_ptr<UncachedFile::System>& file,
                  std::string& error);

}  // namespace kvx
