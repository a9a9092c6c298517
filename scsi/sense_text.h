// Failure texts of the command layer: the ASPI status texts, the sense-key texts and
// the additional-sense descriptions (ASC/ASCQ) of the SCSI primary and multimedia
// command sets, in capitals.
#pragma once

#include <cstdint>
#include <string>

#include "scsi/aspi_defs.h"

namespace kvx::scsi {

// Text of SRB_Status with its host adapter and target status ("CHECK CONDITION" when
// the sense bytes have to decide). targetBusy, when given, tells whether it is TARGET BUSY.
std::string StatusText(uint8_t status, uint8_t haStat, uint8_t targStat, bool* targetBusy = nullptr);

// Text of the sense key of fixed-format sense data (33 bytes); empty when byte 0 is 0.
std::string SenseKeyText(const uint8_t* sense);

// The standard's description of an ASC/ASCQ pair, or null when the table lacks it.
const char* AdditionalSenseText(uint8_t asc, uint8_t ascq);
// Number of pairs in the table.
int AdditionalSenseCount();

// Text of fixed-format sense data as a unit reports it in REQUEST SENSE: the sense
// key's text and the additional-sense description in parentheses.
std::string SenseText(const uint8_t* sense);

struct FailureText {
  std::string text;
  bool targetBusy = false;
};

// LastError of a failed request: the status text (or the sense key's), then, when the
// sense has an additional length, the additional-sense description (or the decimal
// ASC,ASCQ) in parentheses.
FailureText BuildFailureText(const SCSIRequest& request);

}  // namespace kvx::scsi
