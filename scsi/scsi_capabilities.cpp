// TSCSIDevice: the capabilities page (2Ah), the write parameters page (05h) and the
// speeds derived from them.
#include <algorithm>
#include <array>

#include "scsi/scsi_device.h"

namespace kvx::scsi {
namespace {

constexpr uint16_t kDVDRAMWriteKBs = 177;
constexpr size_t kModeHeaderBytes = 8;
constexpr uint8_t kDVDPlusRLinkSize = 16;

// Where a page starts in a MODE SENSE (10) answer: after the 8-byte header, after a
// block descriptor (16), or one byte early on units that drop a header byte (7).
size_t FirstCapabilityOffset(const uint8_t* answer, ModePage page) {
  if (answer[16] == Code(page)) return 16;
  if (answer[8] != Code(page) && answer[7] == Code(page)) return 7;
  return 8;
}

// ~bits alone is an int: the byte keeps its other bits.
void ClearBits(uint8_t& byte, uint8_t bits) { byte = static_cast<uint8_t>(byte & ~bits); }

bool FindPage(const uint8_t* answer, ModePage page, size_t& offset) {
  for (const size_t candidate : {size_t{16}, size_t{8}, size_t{7}})
    if (answer[candidate] == Code(page)) {
      offset = candidate;
      return true;
    }
  return false;
}

uint32_t PageCapabilities(const uint8_t* page) {
  uint32_t bits = 0;
  const uint8_t reads = page[2], writes = page[3];
  if (reads & 0x01) bits |= capability::kReadCDR;
  if (reads & 0x02) bits |= capability::kReadCDRW;
  if (reads & 0x04) bits |= capability::kReadMethod2;
  if (reads & 0x08) bits |= capability::kReadDVDROM;
  if (reads & 0x10) bits |= capability::kReadDVDR;
  if (reads & 0x20) bits |= capability::kReadDVDRAM;
  if (writes & 0x01) bits |= capability::kWriteCDR;
  if (writes & 0x02) bits |= capability::kWriteCDRW;
  if (writes & 0x04) bits |= capability::kTestWrite;
  if (writes & 0x10) bits |= capability::kWriteDVDR;
  if (writes & 0x20) bits |= capability::kWriteDVDRAM;
  if (page[4] & 0x80) bits |= capability::kUnderrunFree;
  return bits;
}

bool WritesDVDRAM(const CapabilityPage& page) { return (page.bytes[3] & 0x20) != 0; }

uint16_t SpeedOrOne(uint16_t kBs, bool writesDVDRAM) {
  if (kBs != 0) return SpeedX(kBs);
  return writesDVDRAM ? 1 : 0;
}

// The speed fields of the page in host order; a DVD-RAM writer reports 1X writing.
void ReadSpeedFields(CapabilityPage& page) {
  const uint8_t* bytes = page.bytes.data();
  page.maxReadKBs = BigEndian16(bytes + 8);
  page.bufferKB = BigEndian16(bytes + 12);
  page.currentReadKBs = BigEndian16(bytes + 14);
  if (WritesDVDRAM(page)) {
    page.maxWriteKBs = page.currentWriteKBs = kDVDRAMWriteKBs;
  } else {
    page.maxWriteKBs = BigEndian16(bytes + 18);
    page.currentWriteKBs = BigEndian16(bytes + 20);
  }
}

// MODE SELECT (10) of the write parameters page behind an 8-byte zero header.
bool SelectWriteParameters(TSCSIDevice& device, const std::array<uint8_t, 54>& page, size_t length) {
  std::array<uint8_t, kModeHeaderBytes + 256> data{};
  std::copy(page.begin(), page.end(), data.begin() + kModeHeaderBytes);
  return device.ModeSelect10(std::span<const uint8_t>(data.data(), std::min(length, data.size())));
}

}  // namespace

bool TSCSIDevice::ReadCapabilities() {
  capabilities_ = 0;
  deviceMaxWriteSpeed_ = deviceMaxReadSpeed_ = 0;
  capabilityPage_ = CapabilityPage{};
  std::array<uint8_t, 255> answer{};
  size_t offset = 8;
  if (ModeSense10(ModePage::Capabilities, PageControl::Default, answer, 128)) {
    offset = FirstCapabilityOffset(answer.data(), ModePage::Capabilities);
    std::copy_n(&answer[offset], capabilityPage_.bytes.size(), capabilityPage_.bytes.begin());
    const uint8_t* page = capabilityPage_.bytes.data();
    capabilities_ = PageCapabilities(page);
    if (HasVendorPage30() || forcedUnderrunProtection_) capabilities_ |= capability::kUnderrunFree;
    const bool dvdRAM = WritesDVDRAM(capabilityPage_);
    deviceMaxWriteSpeed_ = SpeedOrOne(BigEndian16(page + 18), dvdRAM);
    deviceMaxReadSpeed_ = SpeedOrOne(BigEndian16(page + 8), dvdRAM);
    AddFeatureCapabilities();
  }
  if (!ModeSense10(ModePage::Capabilities, PageControl::Current, answer, 128)) return false;
  FindPage(answer.data(), ModePage::Capabilities, offset);
  std::copy_n(&answer[offset], capabilityPage_.bytes.size(), capabilityPage_.bytes.begin());
  ReadSpeedFields(capabilityPage_);
  deviceMaxWriteSpeed_ = std::max(deviceMaxWriteSpeed_, SpeedX(capabilityPage_.maxWriteKBs));
  deviceMaxReadSpeed_ = std::max(deviceMaxReadSpeed_, SpeedX(capabilityPage_.maxReadKBs));
  return true;
}

bool TSCSIDevice::HasVendorPage30() {
  std::array<uint8_t, 255> answer{};
  size_t offset;
  return ModeSense10(ModePage::Vendor30, PageControl::Current, answer, 128) &&
         FindPage(answer.data(), ModePage::Vendor30, offset);
}

// The DVD+RW and DVD-R/-RW write features; descriptor byte 0 = 1: writes.
void TSCSIDevice::AddFeatureCapabilities() {
  struct FeatureBits {
    Feature code;
    uint32_t reported, writes;
  };
  for (const FeatureBits& feature :
       {FeatureBits{Feature::DVDPlusRW, capability::kDVDPlusRWUnit, capability::kWriteDVDPlusRW},
        FeatureBits{Feature::DVDMinusRWrite, capability::kReadDVDR, capability::kWriteDVDR}}) {
    std::array<uint8_t, 114> answer{};
    if (!GetConfiguration(FeatureRequest::One, feature.code, answer) || BigEndian16(&answer[8]) != Code(feature.code))
      continue;
    capabilities_ |= feature.reported;
    if (answer[12] == 1) capabilities_ |= feature.writes;
  }
}

uint16_t TSCSIDevice::GetMaxWriteSpeed() { return ReadCapabilities() ? SpeedX(capabilityPage_.maxWriteKBs) : 0; }
uint16_t TSCSIDevice::GetMaxReadSpeed() { return ReadCapabilities() ? SpeedX(capabilityPage_.maxReadKBs) : 0; }
uint16_t TSCSIDevice::GetCurrentWriteSpeed() {
  return ReadCapabilities() ? SpeedX(capabilityPage_.currentWriteKBs) : 0;
}

void TSCSIDevice::ProbeWriteModes() {
  struct Trial {
    WriteType writeType;
    DataBlockType dataBlockType;
    uint8_t mode;
  };
  supportedWriteModes_ = 0;
  for (const Trial& trial : {Trial{WriteType::Raw, DataBlockType::RawPq2368, kWriteModeRaw},
                             Trial{WriteType::SessionAtOnce, DataBlockType::Raw2352, kWriteModeSAO},
                             Trial{WriteType::TrackAtOnce, DataBlockType::Raw2352, kWriteModeTAO}}) {
    std::array<uint8_t, 512> answer{};
    if (!ModeSense10(ModePage::WriteParameters, PageControl::Current, answer, 512)) continue;
    const size_t offset = answer[16] == Code(ModePage::WriteParameters) ? 16 : 8;
    std::copy_n(&answer[offset], writeParametersPage_.size(), writeParametersPage_.begin());
    auto& page = writeParametersPage_;
    page[2] = Code(trial.writeType);
    page[3] = 0x00;
    page[4] = Code(trial.dataBlockType);
    page[8] = page[9] = 0x00;
    page[14] = 0x00;  // audio pause length 150
    page[15] = 0x96;
    if (SelectWriteParameters(*this, page, size_t{page[1]} + 10)) supportedWriteModes_ |= trial.mode;
  }
}

// Track-at-once Mode 1 data tracks; DVD-R/-RW disc-at-once, incremental data. A unit
// with its own protection against underruns gets it when asked for.
bool TSCSIDevice::SetWriteParameters(WriteSettings settings, DiscKind discType) {
  if (discType == DiscKind::DVDRAM) return true;
  std::array<uint8_t, 512> answer{};
  if (!ModeSense10(ModePage::WriteParameters, PageControl::Current, answer, 512)) return false;
  const size_t offset = FirstCapabilityOffset(answer.data(), ModePage::WriteParameters);
  std::copy_n(&answer[offset], writeParametersPage_.size(), writeParametersPage_.begin());
  auto& page = writeParametersPage_;
  const bool nextSessionAllowed = !settings.testWrite && !finalizeDisc_;
  page[1] = 0x32;
  page[2] = discType == DiscKind::DVDPlusR ? (kLinkSizeValidBit | Code(WriteType::SessionAtOnce))
                                           : Code(WriteType::TrackAtOnce);
  page[4] = Code(DataBlockType::Mode1);
  page[3] = Code(TrackMode::DataUninterrupted);
  if (linkSizeValidUnit_) page[2] |= kLinkSizeValidBit;
  if (nextSessionAllowed) page[3] |= Code(MultiSession::NextSessionAllowed);
  if ((capabilities_ & capability::kUnderrunFree) && settings.underrunProtection)
    page[2] |= kUnderrunFreeBit;
  else
    ClearBits(page[2], kUnderrunFreeBit);
  if (IsDVDMinus(discType)) {
    page[3] = Code(TrackMode::DataIncremental);
    page[2] = Code(WriteType::SessionAtOnce) | (settings.underrunProtection ? kUnderrunFreeBit : 0);
    page[4] = Code(DataBlockType::Mode1);
  } else if (longWriteUnit_) {
    page[2] = kUnderrunFreeBit | Code(WriteType::TrackAtOnce);
    if (nextSessionAllowed) page[3] |= Code(MultiSession::NextSessionAllowed);
  }
  if ((capabilities_ & capability::kTestWrite) && settings.testWrite)
    page[2] |= kTestWriteBit;
  else
    ClearBits(page[2], kTestWriteBit);
  std::fill(&page[5], &page[14], 0);  // link size, host application code, session format, packet size
  if (discType == DiscKind::DVDPlusR) page[5] = kDVDPlusRLinkSize;
  return SelectWriteParameters(*this, page, 60);
}

}  // namespace kvx::scsi
