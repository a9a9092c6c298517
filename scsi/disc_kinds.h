// The kinds of disc the engine tells apart. The numbers are kept as they are shown,
// logged and stored; DiscTypeName gives their names.
#pragma once

#include <cstdint>

namespace kvx::scsi {

enum class DiscKind : uint16_t {
  Unknown = 0,
  CDROM = 1,
  CDR = 2,
  CDRW = 3,
  DVDROM = 4,
  DVDMinusR = 5,
  DVDRAM = 6,
  DVDMinusRW = 7,
  DVDMinusRWSequential = 8,
  DVDPlusRW = 9,
  DVDPlusR = 10,
  DDCDROM = 11,
  DDCDR = 12,
  DDCDRW = 13,
};

constexpr uint16_t Code(DiscKind kind) { return static_cast<uint16_t>(kind); }

// DVD-R and DVD-RW: written disc-at-once into a reserved track.
constexpr bool IsDVDMinus(DiscKind kind) {
  return kind == DiscKind::DVDMinusR || kind == DiscKind::DVDMinusRW || kind == DiscKind::DVDMinusRWSequential;
}

// Name of a disc kind ("UNKNOWN", "CD-ROM", ... "DDCD-RW"); "UNKNOWN" beyond DDCDRW.
const char* DiscTypeName(DiscKind kind);

}  // namespace kvx::scsi
