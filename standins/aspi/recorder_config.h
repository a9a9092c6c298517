// Configuration of the virtual recorders: the INI file named by KVXASPI_CONFIG, one
// section per unit ([Unit0], [Unit1], ...). The keys are documented in
// standins/README.md, section "ASPI manager stand-in".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/mmc_codes.h"

namespace kvx::aspi {

enum class MediaType { None, CDROM, CDR, CDRW, DVDROM, DVDMinusR, DVDMinusRW, DVDPlusR, DVDPlusRW, DVDRAM };
enum class MediumState { Blank, Appendable, Closed };

// Sense key, ASC and ASCQ of a CHECK CONDITION.
struct SenseCode {
  uint8_t key = 0, asc = 0, ascq = 0;
};

// One entry of Faults=: the command (only when it covers lba, when given) fails with
// the sense (none at all with noSense), or from then on the unit no longer answers (gone);
// or a WRITE (10) covering lba succeeds but records that sector altered (garble).
struct CommandFault {
  uint8_t opcode = 0;
  int64_t lba = -1;
  bool gone = false;
  bool noSense = false;
  bool garble = false;
  SenseCode sense;
};

struct UnitConfig {
  int number = 0;  // N of [UnitN]: the unit's SCSI target
  std::string vendor = "KVX";
  std::string product = "VIRTUAL RECORDER";
  std::string revision = "1.00";
  MediaType media = MediaType::CDR;
  MediumState state = MediumState::Blank;
  uint32_t capacity = 0;  // sectors; 0: the usual capacity of the medium
  std::string image;      // burned sectors; the medium's state is kept in image + ".state"
  uint16_t maxWriteSpeed = 0;  // X factors of the medium's kind; 0: 48X CD, 16X DVD
  uint16_t maxReadSpeed = 0;
  uint32_t bufferSize = 2 * 1024 * 1024;
  char letter = 0;        // drive letter reported through SC_GET_DISK_INFO
  std::string folder;     // the drive's files: the last session's tree, laid out after each close
  bool fast = false;      // accept data at once instead of at the write speed
  bool underrunFree = true;
  bool dvdPlusOnly = false;   // writes DVD+R/DVD+RW only: no CD-R/RW, DVD-R/RW or DVD-RAM writing
  uint32_t usedBlocks = 300;  // size of the track a non-blank configured medium holds
  // Faults.
  uint32_t busyWrites = 0;       // the first N WRITE (10) end with BUSY status
  int64_t writeErrorLBA = -1;    // a WRITE (10) covering this LBA fails ...
  SenseCode writeErrorSense{scsi::Code(scsi::SenseKey::MediumError), scsi::sense::kUnrecoveredWriteError.asc,
                            scsi::sense::kUnrecoveredWriteError.ascq};  // ... with this sense
  uint32_t blankMs = 0;   // BLANK keeps the unit busy this long
  uint32_t formatMs = 0;  // FORMAT UNIT keeps the unit busy this long
  uint32_t closeMs = 0;   // closing a session or writing a lead-out
  bool longWrite = false; // busy periods report LONG WRITE IN PROGRESS (04h/08h)
  std::vector<CommandFault> faults;
};

const char* MediaName(MediaType media);
bool ParseMedia(const std::string& text, MediaType& media);

// Reads every [UnitN] section; false with a message when the file cannot be read or
// a value is invalid.
bool ReadRecorderConfig(const std::string& path, std::vector<UnitConfig>& units, std::string& error);
// The same from the text of such a file.
bool ParseRecorderConfig(const std::string& text, std::vector<UnitConfig>& units, std::string& error);

}  // namespace kvx::aspi
