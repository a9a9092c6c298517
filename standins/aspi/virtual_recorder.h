// A virtual CD/DVD recorder: answers the SCSI/MMC commands a burning program sends
// with the data and sense a real unit gives (MMC-5, SPC-3), writes burned sectors to
// its image file and keeps the disc's state beside it. Portable; thread-safe (one
// command at a time).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scsi/mmc_codes.h"
#include "standins/aspi/medium.h"
#include "standins/aspi/recorder_clock.h"
#include "standins/aspi/recorder_config.h"

namespace kvx::aspi {

// SCSI status bytes.
inline constexpr uint8_t kStatusGood = 0x00;
inline constexpr uint8_t kStatusCheckCondition = 0x02;
inline constexpr uint8_t kStatusBusy = 0x08;

struct CommandResult {
  uint8_t status = kStatusGood;
  std::array<uint8_t, 18> sense{};  // fixed format, with CHECK CONDITION
  bool gone = false;                // the unit no longer answers (a Faults= entry)
};

class VirtualRecorder {
 public:
  explicit VirtualRecorder(const UnitConfig& config, RecorderClock& clock = SystemClock());
  // Saves the disc's state beside the image.
  ~VirtualRecorder();
  VirtualRecorder(const VirtualRecorder&) = delete;
  VirtualRecorder& operator=(const VirtualRecorder&) = delete;

  // Carries out one command; data is the transfer buffer (read for data-out commands,
  // filled for data-in ones, never beyond its size).
  CommandResult Execute(std::span<const uint8_t> cdb, std::span<uint8_t> data);

  const UnitConfig& Config() const { return config_; }
  // Whether a "gone" fault has taken the unit off the bus.
  bool Gone();
  // A copy of the disc's state (tests).
  Medium DiscState();

 private:
  struct Reply;
  struct WriteParameters {
    uint8_t writeType = 1;  // TAO
    bool testWrite = false;
    bool bufferUnderrunFree = false;
    bool linkSizeValid = false;
    uint8_t multiSession = 0;  // bits 7-6 of page byte 3
    uint8_t trackMode = 4;
    uint8_t dataBlockType = 8;
    uint8_t linkSize = 0;
    uint16_t audioPause = 150;
  };
  // A long operation running after an immediate command.
  struct BusyPeriod {
    uint64_t start = 0, end = 0;
    scsi::ASCPair sense;
  };

  Reply Dispatch(std::span<const uint8_t> cdb, std::span<uint8_t> data);
  // The configured fault this command meets, or null.
  const CommandFault* FaultFor(const uint8_t* cdb) const;
  // A blanking or formatting that fails: it runs, and the unit reports the failure
  // once the busy period is over.
  static bool FailsAfterItsBusyPeriod(scsi::Opcode opcode) {
    return opcode == scsi::Opcode::Blank || opcode == scsi::Opcode::FormatUnit;
  }
  bool MediumPresent() const;
  bool Busy();
  Reply NotReady();
  Reply ReadyCheck();
  void Occupy(bool immediate, uint32_t ms, scsi::ASCPair sense);
  uint16_t MaxX(uint16_t configured) const;
  uint16_t Progress();
  void Save();
  void ShowDiscInFolder();

  Reply TestUnitReady();
  Reply RequestSense(std::span<uint8_t> data, uint32_t allocation);
  Reply Inquiry(std::span<uint8_t> data, uint32_t allocation);
  Reply StartStopUnit(const uint8_t* cdb);
  Reply PreventAllow(const uint8_t* cdb);
  Reply ModeSense(const uint8_t* cdb, std::span<uint8_t> data);
  Reply ModeSelect(const uint8_t* cdb, std::span<const uint8_t> data);
  Reply GetConfiguration(const uint8_t* cdb, std::span<uint8_t> data);
  Reply ReadDiscInformation(std::span<uint8_t> data, uint32_t allocation);
  Reply ReadTrackInformation(const uint8_t* cdb, std::span<uint8_t> data);
  Reply ReadTOC(const uint8_t* cdb, std::span<uint8_t> data);
  Reply ReadBufferCapacity(std::span<uint8_t> data, uint32_t allocation);
  Reply ReadFormatCapacities(std::span<uint8_t> data, uint32_t allocation);
  Reply Write10(const uint8_t* cdb, std::span<const uint8_t> data);
  Reply Read10(const uint8_t* cdb, std::span<uint8_t> data);
  Reply SynchronizeCache(const uint8_t* cdb);
  Reply CloseTrackSession(const uint8_t* cdb);
  Reply ReserveTrack(const uint8_t* cdb);
  Reply Blank(const uint8_t* cdb);
  Reply FormatUnit(const uint8_t* cdb, std::span<const uint8_t> data);
  Reply SetCDSpeed(const uint8_t* cdb);
  Reply SetStreaming(const uint8_t* cdb, std::span<const uint8_t> data);
  Reply SendOpcInformation();
  Reply SendDVDStructure(const uint8_t* cdb, std::span<const uint8_t> data);

  std::vector<uint8_t> CapabilitiesPage();
  std::vector<uint8_t> WriteParametersPage(bool changeableMask);
  Reply ApplyWriteParameters(const uint8_t* page, size_t length);
  uint32_t KBsPerX() const;
  void DrainBuffer();
  void WaitForBufferRoom(uint32_t bytes);
  bool RecordGarbled(uint32_t lba, std::span<const uint8_t> data);
  uint32_t DrainMs();

  const UnitConfig config_;
  RecorderClock& clock_;
  std::mutex mutex_;
  Medium medium_;
  SectorImage image_;
  WriteParameters writeParameters_;
  BusyPeriod busy_;
  bool gone_ = false;
  std::optional<CommandFault> deferredError_;  // reported by the first command after the busy period
  bool trayOpen_ = false;
  bool removalPrevented_ = false;
  uint32_t readKBs_ = 0, writeKBs_ = 0;  // current speeds
  uint32_t busyWritesLeft_;
  uint32_t testWritten_ = 0;   // blocks accepted by a test write
  uint64_t bufferLevel_ = 0;   // bytes waiting to be burned
  uint64_t lastDrainMs_ = 0;
};

}  // namespace kvx::aspi
