// TThWrite: the writer thread of a burn. It prepares the recorder for the disc in it,
// sends the cache's blocks with WRITE (10) while polling the recorder's buffer, flushes,
// closes the track or session, puts the recorder back to idle and reports the result
// through the component's OnWriteDone. The component owns it and joins it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/event.h"
#include "base/thread.h"
#include "burner/cache_thread.h"
#include "scsi/disc_kinds.h"

namespace kvx {

class TVortalBurner;

inline constexpr const char* kWriterBusyText = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* kWriterErrorText = "WRITER ERROR";
// Followed by the unit's text in brackets, as the writer error.
inline constexpr const char* kFlushErrorText = "FLUSH ERROR";
inline constexpr const char* kCloseErrorText = "CLOSE ERROR";
inline constexpr const char* kLeadOutErrorText = "LEAD-OUT ERROR";
inline constexpr const char* kDiscClosedText = "THE DISC IS CLOSED: NO SESSION CAN BE ADDED";
inline constexpr const char* kWriterFailureText = "WRITER FAILURE";
// The reason of a verify error where the unit read the sector without error.
inline constexpr const char* kDataDiffersText = "DATA READ BACK DIFFERS";

class TThWrite final : public TThread {
 public:
  // Takes over the running cache. To read the track back after the write, the cache
  // must have been told to keep the image header, and ImageReleased is set once the
  // read-back no longer uses the image (null: the write does not read it back).
  TThWrite(TVortalBurner& burner, OwnedThread<TCacheThread> cache, std::shared_ptr<Event> imageReleased);

 protected:
  void Execute() override;

 private:
  // False when the disc was refused before anything was written on it.
  bool Prepare();
  void FormatBlankDVDPlusRW();
  bool StartsWhereLaidOut();
  bool DiscClosed();
  bool HasRoomForTrack(bool located);
  // Ends the write before anything is written on the disc.
  void Refuse(const std::string& text);
  void ReserveDVDMinusTrack();
  void AnnounceWrite(uint16_t speed);
  void Stream();
  void PollBuffer();
  bool WriteBlock(uint32_t sectors);
  void Finish();
  void FlushDVDMinus();
  void Flush();
  void CloseTrack();
  bool CloseSession();
  void ReturnToIdle();
  void Verify();
  bool CompareWithDisc(const uint8_t* data, size_t size, uint32_t& lba);
  bool ReadBack(uint32_t lba, uint32_t sectors, std::span<uint8_t> into);
  static std::string VerifyErrorText(uint32_t sector, const std::string& reason);
  void Report();
  // Ends the stream with Text as the write's error.
  void Stop(const std::string& text);
  // Ends the write with What and the unit's text of its last failure, unless it has
  // already failed.
  void FailWithUnitText(const char* what);
  bool Failed() const { return !cache_->Status().empty(); }

  TVortalBurner& burner_;
  OwnedThread<TCacheThread> cache_;
  scsi::DiscKind discType_ = scsi::DiscKind::Unknown;
  uint32_t startSector_ = 0;
  uint32_t sectorsWritten_ = 0;
  int pollCountdown_ = 5;
  std::vector<uint8_t> block_;
  std::string verifyError_;
  std::shared_ptr<Event> imageReleased_;
};

}  // namespace kvx
