// The virtual recorder's blanking and formatting: BLANK and FORMAT UNIT.
#include "standins/aspi/virtual_recorder_reply.h"

namespace kvx::aspi {

using scsi::BigEndian16;
using scsi::BlankType;
using scsi::Code;
using scsi::FormatType;
namespace sense = scsi::sense;

VirtualRecorder::Reply VirtualRecorder::Blank(const uint8_t* cdb) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const uint8_t type = cdb[1] & 0x07;
  const bool immediate = cdb[1] & 0x10;
  if (!medium_.Erasable()) return Reply::Illegal(sense::kIncompatibleMediumInstalled);
  if (type > Code(BlankType::Minimal)) return Reply::Illegal(sense::kInvalidFieldInCDB);
  medium_.Erase();
  image_.Clear();
  testWritten_ = 0;
  Save();
  ShowDiscInFolder();
  Occupy(immediate, config_.blankMs, config_.longWrite ? sense::kLongWriteInProgress : sense::kOperationInProgress);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::FormatUnit(const uint8_t* cdb, std::span<const uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  if ((cdb[1] & 0x17) != scsi::kFormatWithParameterList) return Reply::Illegal(sense::kInvalidFieldInCDB);
  if (data.size() < 12) return Reply::Illegal(sense::kParameterListLengthError);
  const bool immediate = data[1] & 0x02;
  if (BigEndian16(&data[2]) != 8) return Reply::Illegal(sense::kInvalidFieldInParameterList);
  const FormatType formatType = static_cast<FormatType>(data[8] >> 2);
  const MediaType m = medium_.type;
  if (m != MediaType::DVDRAM && m != MediaType::DVDPlusRW) return Reply::Illegal(sense::kCannotFormatMedium);
  if ((m == MediaType::DVDRAM && formatType != FormatType::Full) ||
      (m == MediaType::DVDPlusRW && formatType != FormatType::DVDPlusRWFull))
    return Reply::Illegal(sense::kInvalidFieldInParameterList);
  medium_.Erase();
  medium_.formatted = true;
  image_.Clear();
  Save();
  ShowDiscInFolder();
  Occupy(immediate, config_.formatMs, config_.longWrite ? sense::kLongWriteInProgress : sense::kFormatInProgress);
  return Reply::Good();
}

}  // namespace kvx::aspi
