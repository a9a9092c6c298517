// The virtual recorder's unit commands: readiness, sense, identity, tray and speeds.
#include "standins/aspi/virtual_recorder_reply.h"

#include <cstring>
#include <string>

namespace kvx::aspi {

using scsi::BigEndian16;
using scsi::BigEndian32;
using scsi::Code;
using scsi::PutBigEndian16;
namespace sense = scsi::sense;
using recorder::Answer;

namespace {

std::string Padded(const std::string& text, size_t width) {
  std::string padded = text.substr(0, width);
  padded.resize(width, ' ');
  return padded;
}

}  // namespace

VirtualRecorder::Reply VirtualRecorder::TestUnitReady() { return ReadyCheck(); }

VirtualRecorder::Reply VirtualRecorder::RequestSense(std::span<uint8_t> data, uint32_t allocation) {
  std::vector<uint8_t> sense(18, 0);
  sense[0] = scsi::kFixedSenseCurrent;
  sense[7] = 10;
  const Reply state = ReadyCheck();
  // Sense that never came cannot be fetched either.
  if (state.noSense) return state;
  if (state.status == kStatusCheckCondition) {
    sense[2] = state.key;
    sense[12] = state.asc;
    sense[13] = state.ascq;
    if (state.progressValid) {
      sense[15] = 0x80;
      PutBigEndian16(&sense[16], state.progress);
    }
  }
  Answer(data, allocation, sense);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::Inquiry(std::span<uint8_t> data, uint32_t allocation) {
  if (data.empty() && allocation != 0) return Reply::Illegal(sense::kInvalidFieldInCDB);
  std::vector<uint8_t> answer(96, 0);
  answer[0] = Code(scsi::PeripheralType::CDDVD);
  answer[1] = 0x80;  // removable
  answer[2] = 0x05;  // SPC-3
  answer[3] = 0x02;
  answer[4] = static_cast<uint8_t>(answer.size() - 5);
  const std::string identity = Padded(config_.vendor, 8) + Padded(config_.product, 16) + Padded(config_.revision, 4);
  std::memcpy(&answer[8], identity.data(), identity.size());
  Answer(data, allocation, answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::StartStopUnit(const uint8_t* cdb) {
  const bool loadEject = cdb[4] & 0x02, start = cdb[4] & 0x01;
  if (!loadEject) return Reply::Good();
  if (!start) {
    if (removalPrevented_) return Reply::Illegal(sense::kMediumRemovalPrevented);
    trayOpen_ = true;
  } else {
    trayOpen_ = false;
  }
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::PreventAllow(const uint8_t* cdb) {
  removalPrevented_ = (cdb[4] & 0x01) != 0;
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SetCDSpeed(const uint8_t* cdb) {
  const auto chosen = [&](uint16_t asked, uint16_t configuredX) {
    const uint32_t max = MaxX(configuredX) * KBsPerX();
    if (asked == 0xFFFF) return max;
    return std::clamp<uint32_t>(asked, KBsPerX(), max);
  };
  readKBs_ = chosen(BigEndian16(cdb + 2), config_.maxReadSpeed);
  writeKBs_ = chosen(BigEndian16(cdb + 4), config_.maxWriteSpeed);
  return Reply::Good();
}

// One performance descriptor: the write size per write time sets the write speed.
VirtualRecorder::Reply VirtualRecorder::SetStreaming(const uint8_t* cdb, std::span<const uint8_t> data) {
  const size_t length = std::min<size_t>(BigEndian16(cdb + 9), data.size());
  if (cdb[8] != 0) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (length < 28) return Reply::Illegal(sense::kParameterListLengthError);
  const uint32_t writeSize = BigEndian32(&data[20]), writeTime = BigEndian32(&data[24]);
  if (writeTime != 0) {
    const uint64_t kBs = uint64_t{writeSize} * 1000 / writeTime;
    writeKBs_ = static_cast<uint32_t>(std::clamp<uint64_t>(kBs, KBsPerX(), uint64_t{MaxX(config_.maxWriteSpeed)} * KBsPerX()));
  }
  return Reply::Good();
}

}  // namespace kvx::aspi
