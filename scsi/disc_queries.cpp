// TSCSIDevice: what disc is loaded, where its last session ends, and waiting for a
// unit busy with a long operation.
#include <algorithm>
#include <array>
#include <cstdint>

#include "scsi/scsi_device.h"

namespace kvx::scsi {
namespace {

DiscKind DiscTypeOfProfile(uint16_t profile) {
  switch (static_cast<Profile>(profile)) {
    case Profile::CDROM: return DiscKind::CDROM;
    case Profile::CDR: return DiscKind::CDR;
    case Profile::CDRW: return DiscKind::CDRW;
    case Profile::DVDROM: return DiscKind::DVDROM;
    case Profile::DVDMinusRSequential: return DiscKind::DVDMinusR;
    case Profile::DVDRAM: return DiscKind::DVDRAM;
    case Profile::DVDMinusRWRestrictedOverwrite:
    case Profile::DVDMinusRWSequential: return DiscKind::DVDMinusRW;
    case Profile::DVDPlusRW: return DiscKind::DVDPlusRW;
    case Profile::DVDPlusR: return DiscKind::DVDPlusR;
    case Profile::DDCDROM: return DiscKind::DDCDROM;
    case Profile::DDCDR: return DiscKind::DDCDR;
    case Profile::DDCDRW: return DiscKind::DDCDRW;
    default: return DiscKind::Unknown;
  }
}

// ATIP byte 6: bit 7 set on recordable media, bit 6 set on rewritable ones.
DiscKind DiscTypeOfATIP(uint8_t discTypeByte) {
  if (!(discTypeByte & 0x80)) return DiscKind::CDROM;
  return (discTypeByte & 0x40) ? DiscKind::CDRW : DiscKind::CDR;
}

}  // namespace

DiscKind TSCSIDevice::GetDiscType() {
  DiscKind type = DiscKind::Unknown;
  std::array<uint8_t, 114> configuration{};
  if (GetConfiguration(FeatureRequest::One, Feature::ProfileList, configuration))
    type = DiscTypeOfProfile(BigEndian16(&configuration[6]));
  if (type == DiscKind::Unknown) {
    atip_.fill(0);
    if (ReadTOC(TOCFormat::ATIP, std::span<uint8_t>(atip_.data(), 26), 0, true, 0)) type = DiscTypeOfATIP(atip_[6]);
  }
  if (ReadDiscInfo() && type == DiscKind::Unknown) type = discInfo_.Erasable() ? DiscKind::CDRW : DiscKind::CDR;
  if (type == DiscKind::Unknown && TestUnitReady(5000)) type = DiscKind::CDROM;
  return type;
}

bool TSCSIDevice::ReadDiscInfo() {
  discInfo_ = DiscInformation{};
  return ReadDiscInformation(discInfo_.bytes);
}

uint8_t TSCSIDevice::GetLastSessionNumber() {
  std::array<uint8_t, 4> answer{};
  return ReadTOC(TOCFormat::SessionInformation, answer, 0, false, 0) ? answer[3] : 0;
}

bool TSCSIDevice::Pause(uint32_t ms, const StopRequest& stop) const {
  constexpr uint32_t kStopLookMs = 1000;
  if (!stop) {
    Sleep(ms);
    return true;
  }
  for (;;) {
    if (stop && stop()) return false;
    if (ms == 0) return true;
    const uint32_t slice = std::min(ms, kStopLookMs);
    Sleep(slice);
    ms -= slice;
  }
}

bool TSCSIDevice::WaitUntilReady(uint32_t totalMs, uint32_t stepMs, const StopRequest& stop) {
  int64_t remaining = totalMs;
  if (longWriteUnit_ || ujdaTdkUnit_) {
    do {
      if (!Pause(1500, stop)) return false;
      remaining -= 1500;
      if (remaining < 0) break;
      TestUnitReady(5000);
    } while (LastASC() == kASCNotReady);
  }
  uint8_t requestSenseASC = 0;
  if (discType_ == DiscKind::DVDRAM) {
    requestSenseASC = kASCNotReady;
  } else {
    do {
      if (!Pause(stepMs, stop)) return false;
      ReadDiscInfo();
      remaining -= stepMs;
      if (remaining < 0) return false;
    } while (LastASC() == kASCNotReady);
  }
  if (TestUnitReady(5000) && requestSenseASC == 0) return true;
  do {
    if (!Pause(stepMs, stop)) return false;
    remaining -= stepMs;
    if (remaining < 0) return false;
    TestUnitReady(5000);
  } while (LastASC() == kASCNotReady);
  do {
    std::array<uint8_t, 40> answer{};
    if (!RequestSense(answer)) return false;  // the unit no longer answers
    requestSenseASC = answer[12];
    remaining -= stepMs;
    if (remaining < 0) return false;
    // Fixed-format sense with the VALID bit: still busy.
    if (ValidFixedSense(answer[0])) requestSenseASC = kASCNotReady;
    if (requestSenseASC == kASCNotReady && !Pause(stepMs, stop)) return false;
  } while (requestSenseASC != 0);
  return true;
}

}  // namespace kvx::scsi
