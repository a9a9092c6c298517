// The virtual recorder's mode pages: capabilities and write parameters, MODE SENSE and
// MODE SELECT.
#include "standins/aspi/virtual_recorder_reply.h"

namespace kvx::aspi {

using scsi::BigEndian16;
using scsi::Code;
using scsi::DataBlockType;
using scsi::ModePage;
using scsi::PageControl;
using scsi::PutBigEndian16;
using scsi::WriteType;
namespace sense = scsi::sense;
using recorder::Answer;
using recorder::IsDVDMinus;

namespace {

// Data block types 4 to 7 and 9 are not written on CD here; layer jump only on DVD.
bool TakesWriteParameters(const Medium& medium, uint8_t writeType, uint8_t blockType) {
  if (IsDVDMinus(medium.type))
    return writeType == Code(WriteType::Packet) || writeType == Code(WriteType::SessionAtOnce);
  if (!medium.IsCD()) return true;
  const bool refusedBlockType = blockType > Code(DataBlockType::RawPwRaw) && blockType != Code(DataBlockType::Mode1) &&
                                blockType < Code(DataBlockType::Mode2Form1);
  return writeType != Code(WriteType::LayerJump) && !refusedBlockType;
}

}  // namespace

std::vector<uint8_t> VirtualRecorder::CapabilitiesPage() {
  std::vector<uint8_t> page(30, 0);
  page[0] = Code(ModePage::Capabilities);
  page[1] = static_cast<uint8_t>(page.size() - 2);
  // Reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R; writes CD-R, CD-RW, DVD-R, test write
  // (none of them on a DVD+ only unit). DVD-RAM is announced only by a unit configured
  // with one: burning programs take a DVD-RAM writer's speed fields for 1X.
  const bool ram = config_.media == MediaType::DVDRAM;
  page[2] = static_cast<uint8_t>(0x1F | (ram ? 0x20 : 0x00));
  page[3] = config_.dvdPlusOnly ? 0x00 : static_cast<uint8_t>(0x17 | (ram ? 0x20 : 0x00));
  page[4] = static_cast<uint8_t>((config_.underrunFree ? 0x80 : 0x00) | 0x40 | 0x20 | 0x10);
  page[6] = static_cast<uint8_t>(0x29 | (removalPrevented_ ? 0x02 : 0x00));  // tray, eject, lock
  const uint32_t perX = KBsPerX();
  const auto speed = [](uint32_t kBs) { return std::min<uint32_t>(kBs, 0xFFFF); };
  PutBigEndian16(&page[8], speed(MaxX(config_.maxReadSpeed) * perX));
  PutBigEndian16(&page[10], 0x0100);
  PutBigEndian16(&page[12], config_.bufferSize / 1024);
  PutBigEndian16(&page[14], speed(readKBs_));
  PutBigEndian16(&page[18], speed(MaxX(config_.maxWriteSpeed) * perX));
  PutBigEndian16(&page[20], speed(writeKBs_));
  PutBigEndian16(&page[28], speed(writeKBs_));
  return page;
}

std::vector<uint8_t> VirtualRecorder::WriteParametersPage(bool changeableMask) {
  std::vector<uint8_t> page(52, 0);
  page[0] = Code(ModePage::WriteParameters);
  page[1] = 0x32;
  if (changeableMask) {
    page[2] = 0x7F;
    page[3] = 0xFF;
    page[4] = 0x0F;
    page[5] = 0xFF;
    page[14] = page[15] = 0xFF;
    return page;
  }
  const WriteParameters& p = writeParameters_;
  page[2] = static_cast<uint8_t>((p.bufferUnderrunFree ? scsi::kUnderrunFreeBit : 0) |
                                 (p.linkSizeValid ? scsi::kLinkSizeValidBit : 0) |
                                 (p.testWrite ? scsi::kTestWriteBit : 0) | p.writeType);
  page[3] = static_cast<uint8_t>(p.multiSession | p.trackMode);
  page[4] = p.dataBlockType;
  page[5] = p.linkSize;
  PutBigEndian16(&page[14], p.audioPause);
  return page;
}

VirtualRecorder::Reply VirtualRecorder::ModeSense(const uint8_t* cdb, std::span<uint8_t> data) {
  const uint8_t pageCode = cdb[2] & scsi::kPageCodeMask;
  const PageControl control = static_cast<PageControl>(cdb[2] & scsi::kPageControlMask);
  if (control == PageControl::Saved) return Reply::Illegal(sense::kSavingParametersNotSupported);
  std::vector<uint8_t> answer(8, 0);
  const auto add = [&](const std::vector<uint8_t>& page) { answer.insert(answer.end(), page.begin(), page.end()); };
  const bool all = pageCode == Code(ModePage::All), changeable = control == PageControl::Changeable;
  if (pageCode == Code(ModePage::WriteParameters) || all) add(WriteParametersPage(changeable));
  if (pageCode == Code(ModePage::Capabilities) || all) {
    std::vector<uint8_t> page = CapabilitiesPage();
    if (changeable) std::fill(page.begin() + 2, page.end(), 0);  // nothing changeable
    add(page);
  }
  if (answer.size() == 8) return Reply::Illegal(sense::kInvalidFieldInCDB);
  PutBigEndian16(&answer[0], static_cast<uint32_t>(answer.size() - 2));
  Answer(data, BigEndian16(cdb + 7), answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ModeSelect(const uint8_t* cdb, std::span<const uint8_t> data) {
  const size_t length = std::min<size_t>(BigEndian16(cdb + 7), data.size());
  if (length == 0) return Reply::Good();
  if (length < 8) return Reply::Illegal(sense::kParameterListLengthError);
  size_t offset = 8 + BigEndian16(&data[6]);
  while (offset + 2 <= length) {
    const uint8_t code = data[offset] & scsi::kPageCodeMask;
    const size_t pageBytes = size_t{data[offset + 1]} + 2;
    if (offset + pageBytes > length) return Reply::Illegal(sense::kParameterListLengthError);
    if (code != Code(ModePage::WriteParameters)) return Reply::Illegal(sense::kInvalidFieldInParameterList);
    const Reply applied = ApplyWriteParameters(&data[offset], pageBytes);
    if (applied.status != kStatusGood) return applied;
    offset += pageBytes;
  }
  return Reply::Good();
}

// Write types a medium takes: DVD-R/-RW incremental or disc-at-once; CD packet, TAO,
// SAO, raw; DVD+R, DVD+RW and DVD-RAM ignore the page.
VirtualRecorder::Reply VirtualRecorder::ApplyWriteParameters(const uint8_t* page, size_t length) {
  if (length < 16) return Reply::Illegal(sense::kParameterListLengthError);
  const uint8_t writeType = page[2] & scsi::kWriteTypeMask, blockType = page[4] & scsi::kDataBlockTypeMask;
  if (writeType > Code(WriteType::LayerJump)) return Reply::Illegal(sense::kInvalidFieldInParameterList);
  if (MediumPresent() && !TakesWriteParameters(medium_, writeType, blockType))
    return Reply::Illegal(sense::kInvalidFieldInParameterList);
  WriteParameters& p = writeParameters_;
  p.writeType = writeType;
  p.bufferUnderrunFree = page[2] & scsi::kUnderrunFreeBit;
  p.linkSizeValid = page[2] & scsi::kLinkSizeValidBit;
  p.testWrite = page[2] & scsi::kTestWriteBit;
  p.multiSession = page[3] & scsi::kMultiSessionMask;
  p.trackMode = page[3] & scsi::kTrackModeMask;
  p.dataBlockType = blockType;
  p.linkSize = page[5];
  p.audioPause = BigEndian16(&page[14]);
  return Reply::Good();
}

}  // namespace kvx::aspi
