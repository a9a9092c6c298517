// TSCSIDevice: what disc is loaded, where its last session ends, and waiting for a
// unit busy with a long operation.
#include <array>
#include <cstdint>

#include "scsi/scsi_device.h"

namespace kvx::scsi {
namespace {

DiscKind DiscTypeOfProfile(uint16_t profile) {
  switch (static_cast<Profile>(profile)) {
    case Profile::CdRom: return DiscKind::CdRom;
    case Profile::CdR: return DiscKind::CdR;
    case Profile::CdRw: return DiscKind::CdRw;
    case Profile::DvdRom: return DiscKind::DvdRom;
    case Profile::DvdMinusRSequential: return DiscKind::DvdMinusR;
    case Profile::DvdRam: return DiscKind::DvdRam;
    case Profile::DvdMinusRwRestrictedOverwrite:
    case Profile::DvdMinusRwSequential: return DiscKind::DvdMinusRw;
    case Profile::DvdPlusRw: return DiscKind::DvdPlusRw;
    case Profile::DvdPlusR: return DiscKind::DvdPlusR;
    case Profile::DdcdRom: return DiscKind::DdcdRom;
    case Profile::DdcdR: return DiscKind::DdcdR;
    case Profile::DdcdRw: return DiscKind::DdcdRw;
    default: return DiscKind::Unknown;
  }
}

// ATIP byte 6: bit 7 set on recordable media, bit 6 set on rewritable ones.
DiscKind DiscTypeOfAtip(uint8_t discTypeByte) {
  if (!(discTypeByte & 0x80)) return DiscKind::CdRom;
  return (discTypeByte & 0x40) ? DiscKind::CdRw : DiscKind::CdR;
}

}  // namespace

DiscKind TSCSIDevice::GetDiscType() {
  DiscKind type = DiscKind::Unknown;
  std::array<uint8_t, 114> configuration{};
  if (GetConfiguration(FeatureRequest::One, Feature::ProfileList, configuration))
    type = DiscTypeOfProfile(BigEndian16(&configuration[6]));
  if (type == DiscKind::Unknown) {
    atip_.fill(0);
    if (ReadTOC(TocFormat::Atip, std::span<uint8_t>(atip_.data(), 26), 0, true, 0)) type = DiscTypeOfAtip(atip_[6]);
  }
  if (ReadDiscInfo() && type == DiscKind::Unknown) type = discInfo_.Erasable() ? DiscKind::CdRw : DiscKind::CdR;
  if (type == DiscKind::Unknown && TestUnitReady(5000)) type = DiscKind::CdRom;
  return type;
}

bool TSCSIDevice::ReadDiscInfo() {
  discInfo_ = DiscInformation{};
  return ReadDiscInformation(discInfo_.bytes);
}

uint8_t TSCSIDevice::GetLastSessionNumber() {
  std::array<uint8_t, 4> answer{};
  return ReadTOC(TocFormat::SessionInformation, answer, 0, false, 0) ? answer[3] : 0;
}

bool TSCSIDevice::WaitUntilReady(uint32_t totalMs, uint32_t stepMs) {
  int64_t remaining = totalMs;
  if (longWriteUnit_ || ujdaTdkUnit_) {
    do {
      Sleep(1500);
      remaining -= 1500;
      if (remaining < 0) break;
      TestUnitReady(5000);
    } while (LastAsc() == kAscNotReady);
  }
  uint8_t requestSenseAsc = 0;
  if (discType_ == DiscKind::DvdRam) {
    requestSenseAsc = kAscNotReady;
  } else {
    do {
      Sleep(stepMs);
      ReadDiscInfo();
      remaining -= stepMs;
      if (remaining < 0) return false;
    } while (LastAsc() == kAscNotReady);
  }
  if (TestUnitReady(5000) && requestSenseAsc == 0) return true;
  do {
    Sleep(stepMs);
    remaining -= stepMs;
    if (remaining < 0) return false;
    TestUnitReady(5000);
  } while (LastAsc() == kAscNotReady);
  do {
    std::array<uint8_t, 40> answer{};
    if (!RequestSense(answer)) return false;  // the unit no longer answers
    requestSenseAsc = answer[12];
    remaining -= stepMs;
    if (remaining < 0) return false;
    // Fixed-format sense with the VALID bit: still busy.
    if (ValidFixedSense(answer[0])) requestSenseAsc = kAscNotReady;
    if (requestSenseAsc == kAscNotReady) Sleep(stepMs);
  } while (requestSenseAsc != 0);
  return true;
}

}  // namespace kvx::scsi
