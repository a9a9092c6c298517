// Multi-byte fields of command blocks and unit answers are big-endian (SCSI byte order).
#pragma once

#include <cstdint>

namespace kvx::scsi {

inline uint16_t BigEndian16(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }

inline uint32_t BigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

inline void PutBigEndian16(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value >> 8);
  bytes[1] = static_cast<uint8_t>(value);
}

inline void PutBigEndian32(uint8_t* bytes, uint32_t value) {
  PutBigEndian16(bytes, value >> 16);
  PutBigEndian16(bytes + 2, value);
}

}  // namespace kvx::scsi
