// TSCSIDevice: what disc is loaded, where its last session ends, and waiting for a
// unit busy with a long operation.
#include <array>
#include <cstdint>

#include "scsi/scsi_device.h"

namespace kvx::scsi {
namespace {

constexpr uint8_t kNotReadyAsc = 0x04;

uint16_t DiscTypeOfProfile(uint16_t profile) {
  switch (profile) {
    case 0x0008: return kDiscCdRom;
    case 0x0009: return kDiscCdR;
    case 0x000A: return kDiscCdRw;
    case 0x0010: return kDiscDvdRom;
    case 0x0011: return kDiscDvdMinusR;
    case 0x0012: return kDiscDvdRam;
    case 0x0013:  // restricted overwrite
    case 0x0014:  // sequential recording
      return kDiscDvdMinusRw;
    case 0x001A: return kDiscDvdPlusRw;
    case 0x001B: return kDiscDvdPlusR;
    case 0x0020: return kDiscDdcdRom;
    case 0x0021: return kDiscDdcdR;
    case 0x0022: return kDiscDdcdRw;
    default: return kDiscUnknown;
  }
}

// ATIP byte 6: bit 7 set on recordable media, bit 6 set on rewritable ones.
uint16_t DiscTypeOfAtip(uint8_t discTypeByte) {
  if (!(discTypeByte & 0x80)) return kDiscCdRom;
  return (discTypeByte & 0x40) ? kDiscCdRw : kDiscCdR;
}

}  // namespace

uint16_t TSCSIDevice::GetDiscType() {
  uint16_t type = kDiscUnknown;
  std::array<uint8_t, 114> configuration{};
  if (GetConfiguration(2, 0x0000, configuration)) type = DiscTypeOfProfile(BigEndian16(&configuration[6]));
  if (type == kDiscUnknown) {
    atip_.fill(0);
    if (ReadTOC(4, std::span<uint8_t>(atip_.data(), 26), 0, true, 0)) type = DiscTypeOfAtip(atip_[6]);
  }
  if (ReadDiscInfo() && type == kDiscUnknown) type = discInfo_.Erasable() ? kDiscCdRw : kDiscCdR;
  if (type == kDiscUnknown && TestUnitReady(5000)) type = kDiscCdRom;
  return type;
}

bool TSCSIDevice::ReadDiscInfo() {
  discInfo_ = DiscInformation{};
  return ReadDiscInformation(discInfo_.bytes);
}

uint8_t TSCSIDevice::GetLastSessionNumber() {
  std::array<uint8_t, 4> answer{};
  return ReadTOC(1, answer, 0, false, 0) ? answer[3] : 0;
}

bool TSCSIDevice::WaitUntilReady(uint32_t totalMs, uint32_t stepMs) {
  int64_t remaining = totalMs;
  if (longWriteUnit_ || ujdaTdkUnit_) {
    do {
      Sleep(1500);
      remaining -= 1500;
      if (remaining < 0) break;
      TestUnitReady(5000);
    } while (LastAsc() == kNotReadyAsc);
  }
  uint8_t requestSenseAsc = 0;
  if (discType_ == kDiscDvdRam) {
    requestSenseAsc = kNotReadyAsc;
  } else {
    do {
      Sleep(stepMs);
      ReadDiscInfo();
      remaining -= stepMs;
      if (remaining < 0) return false;
    } while (LastAsc() == kNotReadyAsc);
  }
  if (TestUnitReady(5000) && requestSenseAsc == 0) return true;
  do {
    Sleep(stepMs);
    remaining -= stepMs;
    if (remaining < 0) return false;
    TestUnitReady(5000);
  } while (LastAsc() == kNotReadyAsc);
  do {
    std::array<uint8_t, 40> answer{};
    if (!RequestSense(answer)) return false;  // the unit no longer answers
    requestSenseAsc = answer[12];
    remaining -= stepMs;
    if (remaining < 0) return false;
    // Fixed-format sense with the VALID bit: still busy.
    if (answer[0] == 0xF0) requestSenseAsc = kNotReadyAsc;
    if (requestSenseAsc == kNotReadyAsc) Sleep(stepMs);
  } while (requestSenseAsc != 0);
  return true;
}

}  // namespace kvx::scsi
