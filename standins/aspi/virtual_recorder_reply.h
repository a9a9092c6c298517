// What the virtual recorder's command files share: the reply a command gives (status
// and sense) and the helpers that shape an answer. Only the recorder's own files
// include it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "scsi/big_endian.h"
#include "standins/aspi/virtual_recorder.h"

namespace kvx::aspi {

struct VirtualRecorder::Reply {
  uint8_t status = kStatusGood;
  uint8_t key = 0, asc = 0, ascq = 0;
  bool progressValid = false;
  bool noSense = false;  // CHECK CONDITION with no sense bytes at all
  uint16_t progress = 0;

  static Reply Good() { return Reply{}; }
  static Reply Check(const CommandFault& fault) {
    Reply reply = Check(fault.sense.key, fault.sense.asc, fault.sense.ascq);
    reply.noSense = fault.noSense;
    return reply;
  }
  static Reply Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    Reply reply;
    reply.status = kStatusCheckCondition;
    reply.key = key;
    reply.asc = asc;
    reply.ascq = ascq;
    return reply;
  }
  static Reply Check(scsi::SenseKey key, scsi::ASCPair sense) { return Check(scsi::Code(key), sense.asc, sense.ascq); }
  static Reply Illegal(scsi::ASCPair sense) { return Check(scsi::SenseKey::IllegalRequest, sense); }
};

namespace recorder {

// An address as READ TOC and READ DISC INFORMATION give it: LBA, or 0, M, S, F.
inline void PutAddress(uint8_t* bytes, uint32_t lba, bool msf) {
  if (!msf) return scsi::PutBigEndian32(bytes, lba);
  const uint32_t frames = lba + 150;
  bytes[0] = 0;
  bytes[1] = static_cast<uint8_t>(frames / (60 * 75));
  bytes[2] = static_cast<uint8_t>(frames / 75 % 60);
  bytes[3] = static_cast<uint8_t>(frames % 75);
}

// Copies the answer, at most the allocation length and the transfer buffer.
inline void Answer(std::span<uint8_t> data, uint32_t allocation, const std::vector<uint8_t>& answer) {
  const size_t bytes = std::min({data.size(), size_t{allocation}, answer.size()});
  std::copy_n(answer.begin(), bytes, data.begin());
}

inline bool IsDVDMinus(MediaType media) { return media == MediaType::DVDMinusR || media == MediaType::DVDMinusRW; }

}  // namespace recorder
}  // namespace kvx::aspi
