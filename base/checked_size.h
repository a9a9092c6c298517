// 64-bit sizes and offsets read from files or devices, narrowed to what this process can
// hold. On i686 size_t and std::streamsize are 32 bits: a size of 2 or 4 GiB and more read
// from a damaged archive must be refused, never cut down nor turned negative.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace kvx {

// The size as a size_t when memory could hold it (not above `limit`); false otherwise.
inline bool SizeInMemory(uint64_t size, size_t& out, uint64_t limit = std::numeric_limits<size_t>::max()) {
  if (size > limit || size > std::numeric_limits<size_t>::max() ||
      size > static_cast<uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    return false;
  }
  out = static_cast<size_t>(size);
  return true;
}

// Whether [offset, offset + size) lies within [0, total), with no sum that can wrap.
inline bool RangeWithin(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

}  // namespace kvx
