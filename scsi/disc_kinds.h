// The kinds of disc the engine tells apart. The numbers are kept as they are shown,
// logged and stored; DiscTypeName gives their names.
#pragma once

#include <cstdint>

namespace kvx::scsi {

enum class DiscKind : uint16_t {
  Unknown = 0,
  CdRom = 1,
  CdR = 2,
  CdRw = 3,
  DvdRom = 4,
  DvdMinusR = 5,
  DvdRam = 6,
  DvdMinusRw = 7,
  DvdMinusRwSequential = 8,
  DvdPlusRw = 9,
  DvdPlusR = 10,
  DdcdRom = 11,
  DdcdR = 12,
  DdcdRw = 13,
};

constexpr uint16_t Code(DiscKind kind) { return static_cast<uint16_t>(kind); }

// DVD-R and DVD-RW: written disc-at-once into a reserved track.
constexpr bool IsDvdMinus(DiscKind kind) {
  return kind == DiscKind::DvdMinusR || kind == DiscKind::DvdMinusRw || kind == DiscKind::DvdMinusRwSequential;
}

// Name of a disc kind ("UNKNOWN", "CD-ROM", ... "DDCD-RW"); "UNKNOWN" beyond DdcdRw.
const char* DiscTypeName(DiscKind kind);

}  // namespace kvx::scsi
