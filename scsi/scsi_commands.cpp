// TSCSIDevice: one operation per SCSI/MMC command. This is the one place where the
// engine's command descriptor blocks are laid out (MMC-5, SPC-3).
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "scsi/scsi_device.h"

namespace kvx::scsi {
namespace {

// Direction flags; every request asks for completion notification.
constexpr uint8_t kNoData = SRB_EVENT_NOTIFY;
constexpr uint8_t kDataIn = SRB_EVENT_NOTIFY | SRB_DIR_IN;
constexpr uint8_t kDataOut = SRB_EVENT_NOTIFY | SRB_DIR_OUT;

constexpr uint32_t kDefaultTimeoutMs = 10000;
constexpr uint16_t kKBsPerX = 177;
constexpr size_t kModeBufferBytes = 512;

SCSIRequest NewRequest(Opcode opcode, uint8_t flags, uint8_t cdbLength, void* buffer = nullptr,
                       uint32_t length = 0) {
  SCSIRequest request{};
  request.SRB_Flags = flags;
  request.SRB_CDBLen = cdbLength;
  request.SRB_BufPointer = static_cast<uint8_t*>(buffer);
  request.SRB_BufLen = length;
  request.CDBByte[0] = Code(opcode);
  return request;
}

// Data sent to the unit is only read by the transport.
uint8_t* OutgoingData(std::span<const uint8_t> data) { return const_cast<uint8_t*>(data.data()); }

uint16_t SpeedKBs(uint16_t x) {
  if (x == 0) return 0xFFFF;
  return static_cast<uint16_t>(std::min<uint32_t>(uint32_t{x} * kKBsPerX, 0xFFFE));
}

}  // namespace

bool TSCSIDevice::TestUnitReady(uint32_t timeoutMs) {
  SCSIRequest request = NewRequest(Opcode::TestUnitReady, kNoData, 6);
  return Send(request, timeoutMs);
}

bool TSCSIDevice::RezeroUnit() {
  SCSIRequest request = NewRequest(Opcode::RezeroUnit, kNoData, 6);
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::RequestSense(std::span<uint8_t> buffer) {
  const uint8_t length = static_cast<uint8_t>(std::min<size_t>(buffer.size(), 255));
  SCSIRequest request = NewRequest(Opcode::RequestSense, kDataIn, 6, buffer.data(), length);
  request.CDBByte[4] = length;
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::FormatUnit(uint8_t byte1, std::span<const uint8_t> list) {
  std::array<uint8_t, 16> parameters{};
  std::copy_n(list.begin(), std::min(list.size(), parameters.size()), parameters.begin());
  SCSIRequest request = NewRequest(Opcode::FormatUnit, kDataOut, 6, parameters.data(), parameters.size());
  request.CDBByte[1] = byte1;
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::Inquiry() {
  inquiry_.fill(0);
  SCSIRequest request = NewRequest(Opcode::Inquiry, kDataIn, 6, inquiry_.data(), 128);
  request.CDBByte[4] = 0x80;
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::LoadEject(bool eject) {
  SCSIRequest request = NewRequest(Opcode::StartStopUnit, kNoData, 6);
  request.CDBByte[4] = eject ? 0x02 : 0x03;
  return Send(request, 20000);
}

bool TSCSIDevice::PreventAllowRemoval(bool allow) {
  SCSIRequest request = NewRequest(Opcode::PreventAllowRemoval, kNoData, 6);
  request.CDBByte[4] = allow ? 0x00 : 0x01;
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::ReadFormatCapacities() {
  std::array<uint8_t, 248> answer{};
  SCSIRequest request = NewRequest(Opcode::ReadFormatCapacities, kDataIn, 10, answer.data(), answer.size());
  request.CDBByte[8] = 0xF8;
  const bool read = Send(request, kDefaultTimeoutMs);
  // The current capacity descriptor follows the 4-byte list header.
  const bool formatted = answer[3] >= 8 && (answer[8] & kDescriptorTypeMask) == Code(DescriptorType::FormattedMedia);
  formattedBlocks_ = read && formatted ? BigEndian32(&answer[4]) : 0;
  return read;
}

bool TSCSIDevice::Read10(uint32_t lba, uint16_t blocks, std::span<uint8_t> buffer) {
  SCSIRequest request = NewRequest(Opcode::Read10, kDataIn, 10, buffer.data(), static_cast<uint32_t>(buffer.size()));
  PutBigEndian32(&request.CDBByte[2], lba);
  PutBigEndian16(&request.CDBByte[7], blocks);
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::Write10(uint32_t lba, uint16_t blocks, uint8_t flags, std::span<const uint8_t> data) {
  SCSIRequest request = NewRequest(Opcode::Write10, flags, 10, OutgoingData(data), static_cast<uint32_t>(data.size()));
  PutBigEndian32(&request.CDBByte[2], lba);
  PutBigEndian16(&request.CDBByte[7], blocks);
  ExecSCSICommand(request, 120000);
  // A request sent without notification may still be running: it counts as accepted.
  const uint8_t status = LoadSRBStatus(request);
  return status == SS_COMP || status == SS_PENDING;
}

bool TSCSIDevice::SynchronizeCache(uint32_t timeoutMs, bool immediate) {
  SCSIRequest request = NewRequest(Opcode::SynchronizeCache, kNoData, 10);
  request.CDBByte[1] = immediate ? 0x02 : 0x00;
  return Send(request, timeoutMs);
}

bool TSCSIDevice::ReadTOC(TOCFormat format, std::span<uint8_t> buffer, uint8_t number, bool msf, uint8_t control) {
  SCSIRequest request = NewRequest(Opcode::ReadTOC, kDataIn, 10, buffer.data(), static_cast<uint32_t>(buffer.size()));
  request.CDBByte[1] = msf ? 0x02 : 0x00;
  request.CDBByte[2] = static_cast<uint8_t>(format);
  request.CDBByte[6] = number;
  request.CDBByte[8] = static_cast<uint8_t>(buffer.size());
  request.CDBByte[9] = control;
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::GetConfiguration(FeatureRequest rt, Feature feature, std::span<uint8_t> buffer) {
  SCSIRequest request = NewRequest(Opcode::GetConfiguration, kDataIn, 10,
                                   buffer.data(), static_cast<uint32_t>(buffer.size()));
  request.CDBByte[1] = static_cast<uint8_t>(rt);
  request.CDBByte[3] = static_cast<uint8_t>(Code(feature));
  request.CDBByte[8] = static_cast<uint8_t>(buffer.size());
  return Send(request, 30000);
}

bool TSCSIDevice::ReadDiscInformation(std::span<uint8_t> buffer) {
  SCSIRequest request = NewRequest(Opcode::ReadDiscInformation, kDataIn, 10,
                                   buffer.data(), static_cast<uint32_t>(buffer.size()));
  request.CDBByte[8] = static_cast<uint8_t>(buffer.size());
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::ReadTrackInformation(uint32_t track) {
  trackInfo_ = TrackInformation{};
  SCSIRequest request = NewRequest(Opcode::ReadTrackInformation, kDataIn, 10, trackInfo_.bytes.data(),
                                   static_cast<uint32_t>(trackInfo_.bytes.size()));
  request.CDBByte[1] = 0x01;  // the address is a track number
  PutBigEndian32(&request.CDBByte[2], track & 0xFF);
  request.CDBByte[8] = 0x26;
  return Send(request, 60000);
}

bool TSCSIDevice::ReserveTrack(uint32_t blocks) {
  std::array<uint8_t, 8> answer{};
  SCSIRequest request = NewRequest(Opcode::ReserveTrack, kDataIn, 10, answer.data(), answer.size());
  PutBigEndian32(&request.CDBByte[5], blocks);
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::SendOPCInformation() {
  SCSIRequest request = NewRequest(Opcode::SendOpcInformation, kNoData, 10);
  request.CDBByte[1] = 0x01;  // DoOpc
  return Send(request, 150000);
}

bool TSCSIDevice::ModeSelect10(std::span<const uint8_t> data) {
  std::array<uint8_t, kModeBufferBytes> parameters{};
  const size_t length = std::min(data.size(), parameters.size());
  std::copy_n(data.begin(), length, parameters.begin());
  SCSIRequest request = NewRequest(Opcode::ModeSelect10, kDataOut, 10,
                                   parameters.data(), static_cast<uint32_t>(length));
  request.CDBByte[1] = 0x10;  // PF
  request.CDBByte[8] = static_cast<uint8_t>(length);
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::ModeSense10(ModePage page, PageControl control, std::span<uint8_t> buffer, uint16_t length) {
  std::fill(buffer.begin(), buffer.end(), 0);
  std::array<uint8_t, kModeBufferBytes> answer{};
  const uint16_t asked = static_cast<uint16_t>(std::min<size_t>(length, answer.size()));
  SCSIRequest request = NewRequest(Opcode::ModeSense10, kDataIn, 10, answer.data(), asked);
  request.CDBByte[2] = static_cast<uint8_t>(Code(page) | static_cast<uint8_t>(control));
  PutBigEndian16(&request.CDBByte[7], asked);
  if (!Send(request, 20000)) return false;
  std::copy_n(answer.begin(), std::min<size_t>(asked, buffer.size()), buffer.begin());
  return true;
}

bool TSCSIDevice::CloseTrackSession(CloseFunction function, bool immediate) {
  SCSIRequest request = NewRequest(Opcode::CloseTrackSession, kNoData, 10);
  request.CDBByte[1] = immediate ? 0x01 : 0x00;
  request.CDBByte[2] = static_cast<uint8_t>(function);
  request.CDBByte[5] = function == CloseFunction::Track ? 0xFF : 0x00;
  return Send(request, 180000);
}

bool TSCSIDevice::ReadBufferCapacity(uint32_t& bufferSize, uint32_t& freeSize) {
  std::array<uint8_t, 32> answer{};
  SCSIRequest request = NewRequest(Opcode::ReadBufferCapacity, kDataIn, 10, answer.data(), answer.size());
  request.CDBByte[8] = 0x20;
  const bool read = Send(request, kDefaultTimeoutMs);
  if (read) {
    deviceBufferSize_ = BigEndian32(&answer[4]);
    const uint32_t blank = BigEndian32(&answer[8]);
    deviceFreeBufferSize_ = blank == 0xFFFFFFFF ? deviceBufferSize_.load() : blank;
  } else {
    deviceFreeBufferSize_ = 0;
  }
  bufferSize = deviceBufferSize_;
  freeSize = deviceFreeBufferSize_;
  return read;
}

bool TSCSIDevice::SendCueSheet(std::span<const uint8_t> data) {
  SCSIRequest request = NewRequest(Opcode::SendCueSheet, kDataOut, 10,
                                   OutgoingData(data), static_cast<uint32_t>(data.size()));
  PutBigEndian16(&request.CDBByte[7], static_cast<uint32_t>(data.size()));
  return Send(request, 30000);
}

bool TSCSIDevice::Blank(BlankType type) {
  SCSIRequest request = NewRequest(Opcode::Blank, kNoData, 12);
  request.CDBByte[1] = static_cast<uint8_t>(static_cast<uint8_t>(type) | 0x10);  // Immed
  return Send(request, 4800000);
}

bool TSCSIDevice::SetStreaming(std::span<const uint8_t> data) {
  SCSIRequest request = NewRequest(Opcode::SetStreaming, kDataOut, 12,
                                   OutgoingData(data), static_cast<uint32_t>(data.size()));
  PutBigEndian16(&request.CDBByte[9], static_cast<uint32_t>(data.size()));
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::SetCDSpeed(uint16_t readX, uint16_t writeX) {
  SCSIRequest request = NewRequest(Opcode::SetCDSpeed, kNoData, 12);
  PutBigEndian16(&request.CDBByte[2], SpeedKBs(readX));
  PutBigEndian16(&request.CDBByte[4], SpeedKBs(writeX));
  return Send(request, kDefaultTimeoutMs);
}

void TSCSIDevice::SetWriteSpeed(uint16_t x) {
  SetCDSpeed(readSpeed_, x);
  writeSpeed_ = x;
}

bool TSCSIDevice::SendDVDStructure(uint8_t format, std::span<const uint8_t> data) {
  SCSIRequest request = NewRequest(Opcode::SendDVDStructure, kDataOut, 12,
                                   OutgoingData(data), static_cast<uint32_t>(data.size()));
  request.CDBByte[7] = format;
  PutBigEndian16(&request.CDBByte[8], static_cast<uint32_t>(data.size()));
  return Send(request, kDefaultTimeoutMs);
}

bool TSCSIDevice::SendTimeStamp(TDateTime date) {
  const CivilTime time = DecodeDateTime(date);
  std::array<uint8_t, 22> parameters{};
  parameters[1] = 0x14;  // data length 20
  char digits[16];
  std::snprintf(digits, sizeof(digits), "%04d%02d%02d%02d%02d%02d", time.Year % 10000, time.Month, time.Day,
                time.Hour, time.Minute, time.Second);
  std::memcpy(&parameters[8], digits, 14);
  return SendDVDStructure(kDVDStructureTimeStamp, parameters);
}

}  // namespace kvx::scsi
