// The disc in a virtual recorder: its tracks and sessions, where the next data goes,
// and the image file that holds its sectors (sector n at byte n * 2048). The state is
// saved beside the image so that a later run continues with the same disc.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "scsi/mmc_codes.h"
#include "standins/aspi/recorder_config.h"

namespace kvx::aspi {

inline constexpr uint32_t kSectorBytes = 2048;

struct TrackRecord {
  uint32_t start = 0;
  uint32_t size = 0;
  uint16_t session = 1;
};

struct Medium {
  MediaType type = MediaType::None;
  uint32_t capacity = 0;
  bool formatted = false;  // DVD+RW and DVD-RAM: random writing allowed
  bool finalised = false;  // no more sessions
  std::vector<TrackRecord> tracks;  // closed tracks, in order
  std::vector<uint32_t> leadOuts;   // lead-out start of each complete session
  uint32_t nextStart = 0;           // start of the incomplete (or invisible) track
  uint32_t written = 0;             // blocks written into it
  uint32_t reserved = 0;            // its reserved size, 0 when not reserved
  uint32_t recordedEnd = 0;         // random-access media: one past the highest written sector

  // The disc a unit starts with when nothing is saved.
  static Medium Configured(const UnitConfig& config);

  bool IsCD() const;
  bool ReadOnly() const;
  bool RandomAccess() const;  // DVD+RW, DVD-RAM
  bool Erasable() const;      // BLANK applies: CD-RW, DVD-RW
  scsi::Profile Profile() const;  // current profile of GET CONFIGURATION

  uint16_t CurrentSession() const { return static_cast<uint16_t>(leadOuts.size() + 1); }
  uint32_t NextWritable() const { return nextStart + written; }
  // Last sector a write may reach, plus one.
  uint32_t WritableEnd() const { return reserved != 0 ? nextStart + reserved : capacity; }
  uint32_t FreeBlocks() const;
  // One past the last readable sector.
  uint32_t ReadableEnd() const;
  bool Empty() const { return tracks.empty() && written == 0 && reserved == 0 && recordedEnd == 0; }
  scsi::DiscState DiscStatus() const;
  uint8_t LastSessionState() const;  // 0 empty, 1 incomplete, 3 complete
  // Tracks on the disc, counting the incomplete or invisible one.
  uint32_t TrackCount() const;
  uint16_t FirstTrackOfLastSession() const;

  void CloseTrack();
  // Closes the open track and the session; a next session starts after the lead-out
  // and lead-in when allowed, else the disc is finalised.
  void CloseSession(bool nextSessionAllowed);
  void Finalise();
  void Erase();   // blank again (BLANK, FORMAT UNIT)

  std::string Serialize() const;
  static bool Parse(const std::string& text, Medium& medium);
};

// The sectors of a disc in a file. Without a path nothing is stored and reads give zeros.
class SectorImage {
 public:
  explicit SectorImage(std::string path);
  const std::string& Path() const { return path_; }
  bool Write(uint32_t lba, const uint8_t* data, uint32_t blocks);
  void Read(uint32_t lba, uint8_t* data, uint32_t blocks);
  void Clear();
  void Flush();

 private:
  bool Open();

  std::string path_;
  std::fstream file_;
};

// Saved state beside the image ("<image>.state"); false when there is none.
bool LoadMedium(const std::string& imagePath, Medium& medium);
bool SaveMedium(const std::string& imagePath, const Medium& medium);

}  // namespace kvx::aspi
