// The virtual recorder's writing: the buffer streaming at the write speed, WRITE (10),
// READ (10), SYNCHRONIZE CACHE, CLOSE TRACK/SESSION, RESERVE TRACK, the OPC and DVD
// structure commands and READ BUFFER CAPACITY.
#include "standins/aspi/virtual_recorder_reply.h"

namespace kvx::aspi {

using scsi::BigEndian16;
using scsi::BigEndian32;
using scsi::CloseFunction;
using scsi::Code;
using scsi::PutBigEndian16;
using scsi::PutBigEndian32;
using scsi::SenseKey;
using scsi::WriteType;
namespace sense = scsi::sense;
using recorder::Answer;
using recorder::IsDVDMinus;

namespace {

// Write types that need a cue sheet (CD) or a reserved track (DVD-R/-RW) first.
bool WritesAtOnce(uint8_t writeType) {
  return writeType == Code(WriteType::SessionAtOnce) || writeType == Code(WriteType::Raw);
}

// The byte of a garbled sector that is recorded inverted.
constexpr size_t kGarbledByte = 1000;

}  // namespace

// A garble fault's sector among the written ones is recorded again, one byte altered.
bool VirtualRecorder::RecordGarbled(uint32_t lba, std::span<const uint8_t> data) {
  const int64_t end = int64_t{lba} + static_cast<int64_t>(data.size() / kSectorBytes);
  for (const CommandFault& fault : config_.faults) {
    if (!fault.garble || fault.lba < lba || fault.lba >= end) continue;
    const auto sector = data.subspan(static_cast<size_t>(fault.lba - lba) * kSectorBytes, kSectorBytes);
    std::vector<uint8_t> garbled(sector.begin(), sector.end());
    garbled[kGarbledByte] ^= 0xFF;
    if (!image_.Write(static_cast<uint32_t>(fault.lba), garbled.data(), 1)) return false;
  }
  return true;
}

void VirtualRecorder::DrainBuffer() {
  const uint64_t now = clock_.NowMs();
  const uint64_t burned = (now - lastDrainMs_) * writeKBs_;  // 1 kB/s is one byte per millisecond
  bufferLevel_ -= std::min(bufferLevel_, burned);
  lastDrainMs_ = now;
}

uint32_t VirtualRecorder::DrainMs() {
  DrainBuffer();
  return static_cast<uint32_t>((bufferLevel_ + writeKBs_ - 1) / std::max<uint32_t>(writeKBs_, 1));
}

// Blocks the writer while the buffer is too full, as a unit streaming at its speed does.
void VirtualRecorder::WaitForBufferRoom(uint32_t bytes) {
  const uint64_t room = std::max<uint64_t>(config_.bufferSize, bytes);
  DrainBuffer();
  while (bufferLevel_ + bytes > room) {
    const uint64_t excess = bufferLevel_ + bytes - room;
    clock_.SleepMs(static_cast<uint32_t>((excess + writeKBs_ - 1) / std::max<uint32_t>(writeKBs_, 1)));
    DrainBuffer();
  }
  bufferLevel_ += bytes;
}

VirtualRecorder::Reply VirtualRecorder::Write10(const uint8_t* cdb, std::span<const uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  if (busyWritesLeft_ > 0) {
    --busyWritesLeft_;
    Reply busy;
    busy.status = kStatusBusy;
    return busy;
  }
  Medium& m = medium_;
  const uint32_t lba = BigEndian32(cdb + 2), blocks = BigEndian16(cdb + 7);
  const size_t bytes = size_t{blocks} * kSectorBytes;
  if (m.ReadOnly()) return Reply::Illegal(sense::kCannotWriteIncompatibleFormat);
  if (bytes > data.size()) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (blocks == 0) return Reply::Good();
  if (m.RandomAccess()) {
    if (!m.formatted) return Reply::Illegal(sense::kMediumNotFormatted);
    if (uint64_t{lba} + blocks > m.capacity) return Reply::Illegal(sense::kLBAOutOfRange);
  } else {
    const uint8_t writeType = writeParameters_.writeType;
    const bool needsCueSheet = m.IsCD() && WritesAtOnce(writeType);
    const bool needsReservation = IsDVDMinus(m.type) && writeType == Code(WriteType::SessionAtOnce) && m.reserved == 0;
    if (m.finalised) return Reply::Illegal(sense::kInvalidAddressForWrite);
    if (needsCueSheet || needsReservation) return Reply::Illegal(sense::kCommandSequenceError);
    if (lba != m.NextWritable() + testWritten_) return Reply::Illegal(sense::kInvalidAddressForWrite);
    if (uint64_t{lba} + blocks > m.WritableEnd()) return Reply::Illegal(sense::kInvalidAddressForWrite);
  }
  if (config_.writeErrorLBA >= lba && config_.writeErrorLBA < int64_t{lba} + blocks)
    return Reply::Check(config_.writeErrorSense.key, config_.writeErrorSense.asc, config_.writeErrorSense.ascq);
  if (!config_.fast) WaitForBufferRoom(static_cast<uint32_t>(bytes));
  if (writeParameters_.testWrite && !m.RandomAccess()) {
    testWritten_ += blocks;  // simulation: nothing is recorded
    return Reply::Good();
  }
  if (!image_.Write(lba, data.data(), blocks) || !RecordGarbled(lba, data.first(bytes)))
    return Reply::Check(SenseKey::MediumError, sense::kUnrecoveredWriteError);
  if (m.RandomAccess())
    m.recordedEnd = std::max(m.recordedEnd, lba + blocks);
  else
    m.written += blocks;
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::Read10(const uint8_t* cdb, std::span<uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const uint32_t lba = BigEndian32(cdb + 2), blocks = BigEndian16(cdb + 7);
  if (size_t{blocks} * kSectorBytes > data.size()) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (uint64_t{lba} + blocks > medium_.ReadableEnd()) return Reply::Illegal(sense::kLBAOutOfRange);
  if (blocks != 0) image_.Read(lba, data.data(), blocks);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SynchronizeCache(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const bool immediate = cdb[1] & 0x02;
  uint32_t busyMs = config_.fast ? 0 : DrainMs();
  bufferLevel_ = 0;
  Medium& m = medium_;
  // Disc-at-once on DVD-R/-RW: the flush ends the reserved track and writes the lead-out.
  if (IsDVDMinus(m.type) && writeParameters_.writeType == Code(WriteType::SessionAtOnce) && m.reserved != 0 &&
      m.written != 0 &&
      !writeParameters_.testWrite) {
    m.written = m.reserved;
    m.Finalise();
    busyMs += config_.closeMs;
  }
  testWritten_ = 0;
  Save();
  if (m.RandomAccess() || m.finalised) ShowDiscInFolder();  // no close follows these writes
  Occupy(immediate, busyMs, sense::kLongWriteInProgress);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::CloseTrackSession(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const bool immediate = cdb[1] & 0x01;
  const CloseFunction function = static_cast<CloseFunction>(cdb[2] & 0x07);
  Medium& m = medium_;
  if (function != CloseFunction::Track && function != CloseFunction::Session && function != CloseFunction::Finalize &&
      function != CloseFunction::FinalizeMinimalRadius)
    return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (m.ReadOnly() || (m.finalised && !m.RandomAccess())) return Reply::Illegal(sense::kCommandSequenceError);
  if (m.RandomAccess() || writeParameters_.testWrite) {
    testWritten_ = 0;
    return Reply::Good();  // nothing to close (DVD+RW: ends background formatting)
  }
  if (function == CloseFunction::Track) {
    m.CloseTrack();
  } else if (function == CloseFunction::Session) {
    const bool nextAllowed =
        m.type == MediaType::DVDPlusR || writeParameters_.multiSession == Code(scsi::MultiSession::NextSessionAllowed);
    m.CloseSession(nextAllowed);
  } else {
    m.Finalise();
  }
  Save();
  ShowDiscInFolder();
  if (function != CloseFunction::Track) Occupy(immediate, config_.closeMs, sense::kLongWriteInProgress);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReserveTrack(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  Medium& m = medium_;
  const uint32_t size = BigEndian32(cdb + 5);
  if (m.ReadOnly() || m.RandomAccess() || m.finalised || m.written != 0 || m.reserved != 0)
    return Reply::Illegal(sense::kCommandSequenceError);
  if (size == 0 || uint64_t{m.nextStart} + size > m.capacity) return Reply::Illegal(sense::kLBAOutOfRange);
  m.reserved = size;
  Save();
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SendOpcInformation() {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  if (medium_.ReadOnly() || (medium_.finalised && !medium_.RandomAccess()))
    return Reply::Illegal(sense::kCommandSequenceError);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::SendDVDStructure(const uint8_t* cdb, std::span<const uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const size_t length = std::min<size_t>(BigEndian16(cdb + 8), data.size());
  if (cdb[7] != scsi::kDVDStructureTimeStamp || !IsDVDMinus(medium_.type))
    return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (length < 4 || BigEndian16(&data[0]) + 2u > length) return Reply::Illegal(sense::kParameterListLengthError);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadBufferCapacity(std::span<uint8_t> data, uint32_t allocation) {
  DrainBuffer();
  std::vector<uint8_t> answer(12, 0);
  PutBigEndian16(&answer[0], 10);
  PutBigEndian32(&answer[4], config_.bufferSize);
  PutBigEndian32(&answer[8], static_cast<uint32_t>(config_.bufferSize - std::min<uint64_t>(bufferLevel_, config_.bufferSize)));
  Answer(data, allocation, answer);
  return Reply::Good();
}

}  // namespace kvx::aspi
