// TVortalBurner: the burning component forms place on themselves. It is the device
// (every SCSI/MMC operation of TSCSIDevice), owns the image tree and its layout, and
// writes the track with a read-ahead cache thread and a writer thread.
//
// Properties and image operations belong to the GUI thread. During a burn the writer
// thread raises OnFinalizingTrack, OnWriteDone and the debug messages; handlers that
// touch a form hand their work to the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/date_time.h"
#include "base/event.h"
#include "burner/burn_engine.h"
#include "burner/image_layout.h"
#include "scsi/scsi_device.h"

namespace kvx {

class TVortalBurner;
class TCacheThread;
class TThWrite;

// End of a write: Error is empty on success, else the text that stopped it.
using TWriteDoneEvent = std::function<void(TVortalBurner* sender, const std::string& error)>;
using NotifyEvent = std::function<void(TVortalBurner* sender)>;
// Kept for forms that assign it; the engine never calls it.
using TAddDirEvent = std::function<void(TVortalBurner* sender, std::string& longName, std::string& shortName, bool& skip)>;

// How long the writer keeps trying while the recorder is busy. Tests shorten it.
struct WriteRetryLimits {
  uint32_t BusyAttempts = 10000;  // WRITE (10) attempts while the unit is busy or not ready
  uint32_t BusyDelayMs = 600;
  uint32_t CloseAttempts = 1000;  // CLOSE TRACK/SESSION attempts
  uint32_t CloseDelayMs = 1000;
};

inline constexpr const char* kComponentVersion = "1.1.8";
inline constexpr int32_t kDefaultCacheSize = 4194304;
inline constexpr int32_t kMinimumCacheSize = 2097152;
inline constexpr int kDefaultMaxFiles = 65535;
inline constexpr int kDefaultMaxDirectories = 8191;

class TVortalBurner : public scsi::TSCSIDevice, public LayoutDevice {
 public:
  // Writes through the engine's transport; one write of the engine runs at a time.
  explicit TVortalBurner(BurnEngine& engine);
  // Aborts a running write and waits until its threads are gone.
  ~TVortalBurner() override;

  // --- Published properties (the device ones are TSCSIDevice's) ---------------------
  int32_t CacheSize() const { return cacheSize_; }
  // Values below 2 MiB give 2 MiB; others are rounded down to whole sectors.
  void SetCacheSize(int32_t value);
  const std::string& Version() const { return version_; }
  // The version is the component's own: a stored value is ignored.
  void SetVersion(const std::string&) {}
  bool FinalizeTrack() const { return finalizeTrack_; }
  void SetFinalizeTrack(bool value) { finalizeTrack_ = value; }
  bool PerformOPC() const { return performOPC_; }
  void SetPerformOPC(bool value) { performOPC_ = value; }

  const std::string& IdVolume() const { return layout_.IdVolume; }
  void SetIdVolume(const std::string& value) { layout_.IdVolume = value; }
  const std::string& IdSystem() const { return layout_.IdSystem; }
  void SetIdSystem(const std::string& value) { layout_.IdSystem = value; }
  const std::string& IdVolumeSet() const { return layout_.IdVolumeSet; }
  void SetIdVolumeSet(const std::string& value) { layout_.IdVolumeSet = value; }
  const std::string& IdPublisher() const { return layout_.IdPublisher; }
  void SetIdPublisher(const std::string& value) { layout_.IdPublisher = value; }
  const std::string& IdPreparer() const { return layout_.IdPreparer; }
  void SetIdPreparer(const std::string& value) { layout_.IdPreparer = value; }
  const std::string& IdApplication() const { return layout_.IdApplication; }
  void SetIdApplication(const std::string& value) { layout_.IdApplication = value; }
  const std::string& FileCopyright() const { return layout_.FileCopyright; }
  void SetFileCopyright(const std::string& value) { layout_.FileCopyright = value; }
  const std::string& FileAbstract() const { return layout_.FileAbstract; }
  void SetFileAbstract(const std::string& value) { layout_.FileAbstract = value; }
  const std::string& FileBibliographic() const { return layout_.FileBibliographic; }
  void SetFileBibliographic(const std::string& value) { layout_.FileBibliographic = value; }
  TDateTime DateCreation() const { return layout_.DateCreation; }
  void SetDateCreation(TDateTime value) { layout_.DateCreation = value; }
  TDateTime DateModification() const { return layout_.DateModification; }
  void SetDateModification(TDateTime value) { layout_.DateModification = value; }
  TDateTime DateEffective() const { return dateEffective_; }
  void SetDateEffective(TDateTime value) { dateEffective_ = value; }
  TDateTime DateExpiration() const { return dateExpiration_; }
  void SetDateExpiration(TDateTime value) { dateExpiration_ = value; }
  const std::string& ISOFileName() const { return isoFileName_; }
  void SetISOFileName(const std::string& value) { isoFileName_ = value; }
  bool JolietFileSystem() const { return layout_.JolietFileSystem; }
  void SetJolietFileSystem(bool value) { layout_.JolietFileSystem = value; }
  bool ReplaceFile() const { return layout_.ReplaceFile; }
  void SetReplaceFile(bool value) { layout_.ReplaceFile = value; }
  bool WritePostGap() const { return layout_.WritePostGap; }
  void SetWritePostGap(bool value) { layout_.WritePostGap = value; }
  // A new session on an appendable disc keeps the files of the last one visible (off).
  bool ImportPreviousSession() const { return layout_.ImportPreviousSession; }
  void SetImportPreviousSession(bool value) { layout_.ImportPreviousSession = value; }
  void SetOnAddFile(TAddFileEvent handler) { layout_.OnAddFile = std::move(handler); }
  void SetOnAddDir(TAddDirEvent handler) { onAddDir_ = std::move(handler); }
  void SetOnWriteDone(TWriteDoneEvent handler) { onWriteDone_ = std::move(handler); }
  void SetOnFinalizingTrack(NotifyEvent handler) { onFinalizingTrack_ = std::move(handler); }
  // Raised by the writer thread as the read-back of a verified write begins.
  void SetOnVerifying(NotifyEvent handler) { onVerifying_ = std::move(handler); }

  // Before anything is written, a disc without room for the track is refused (on).
  bool CheckCapacity() const { return checkCapacity_; }
  void SetCheckCapacity(bool value) { checkCapacity_ = value; }
  // After a successful write the track is read back and compared (off).
  bool VerifyWrite() const { return verifyWrite_; }
  void SetVerifyWrite(bool value) { verifyWrite_ = value; }
  const WriteRetryLimits& WriteRetries() const { return writeRetries_; }
  void SetWriteRetries(const WriteRetryLimits& value) { writeRetries_ = value; }

  // --- Image (the tree must not change while a write reads it: these wait for it) ---
  void ResetImage(int maxFiles, int maxDirectories) {
    WaitForImage();
    layout_.ResetImage(maxFiles, maxDirectories);
  }
  AddFileResult AddFile(std::string_view destinationPath, std::string_view sourceFile, bool keepSourcePath) {
    WaitForImage();
    return layout_.AddFile(destinationPath, sourceFile, keepSourcePath);
  }
  TISODirectory* CreateDirectory(TISODirectory* parent, std::string_view name, uint32_t attr) {
    WaitForImage();
    return layout_.CreateDirectory(parent, name, attr);
  }
  TISODirectory* ForceDirectories(std::string_view path) {
    WaitForImage();
    return layout_.ForceDirectories(path);
  }
  TISODirectory* FindDirectory(std::string_view path) const { return layout_.FindDirectory(path); }
  void BuildImage(bool skipDiscQuery) {
    WaitForImage();
    layout_.BuildImage(skipDiscQuery);
  }
  int64_t GetTrackSize() const { return layout_.GetTrackSize(); }
  // The tree and its layout results.
  ImageLayout& Image() { return layout_; }
  const ImageLayout& Image() const { return layout_; }

  // --- Writing --------------------------------------------------------------------------
  // Starts the cache, waits until it is ready and starts the writer. False when the
  // cache failed first (OnWriteDone has been called with its error) or a write runs.
  bool StartBurn();
  // The writer stops before its next block.
  void AbortWrite();
  // Bytes handed to the recorder so far and the file they come from.
  int64_t BytesWritten() const { return bytesWritten_; }
  // Bytes read back and found as written so far, during the verification.
  int64_t BytesVerified() const { return bytesVerified_; }
  std::string CurrentFile() const;
  // Whether a write of this component is running (from StartBurn to OnWriteDone).
  bool Writing() const { return writing_; }
  // Blocks until the writer of the last write has ended.
  void WaitForWriter();

  // --- The layout's view of the disc ---------------------------------------------------
  scsi::DiscKind GetDiscType() override { return TSCSIDevice::GetDiscType(); }
  // Waits for the unit, announces the write parameters and reads where the next track
  // starts; false (StartSector 0) when the track information could not be read.
  bool ReadNextWritableAddress(uint32_t& startSector) override;
  bool ReadLastSessionStart(uint32_t& sector) override;
  bool ReadSectors(uint32_t sector, uint16_t count, uint8_t* buffer) override {
    return Read10(sector, count, std::span<uint8_t>(buffer, static_cast<size_t>(count) * 2048));
  }
  void SetDoDebug(bool value) override { TSCSIDevice::SetDoDebug(value); }
  void DebugMessage(const std::string& message, uint8_t mType) override { TSCSIDevice::DebugMessage(message, mType); }

 private:
  friend class TThWrite;

  void SetCurrentFile(const std::string& path);
  // Waits until the running write no longer reads the image (its cache has ended, and
  // its read-back).
  void WaitForImage() const;
  bool AbortRequested() const { return engine_.userAbort_; }
  // Refuses a write without an image, beside another write or on a unit being erased
  // (OnWriteDone tells why); else makes this component the engine's writing one.
  bool ClaimForWrite();
  // Starts the cache, waits until it is ready and starts the writer.
  bool StartWrite();
  void StartWriter(OwnedThread<TCacheThread> cache, std::shared_ptr<Event> readBackDone);
  // The write is over: the flag is cleared just before OnWriteDone.
  void WriteEnded(const std::string& error);
  void ReportWriteDone(const std::string& error);
  // Keeps the new write's writer, joining the one before it.
  void KeepWriter(OwnedThread<TThWrite> writer);
  // Logs why the cache's reading failed, when an exception ended it.
  void LogCacheFailure(const TCacheThread& cache);
  // Sends the write parameters page as if the disc were to be closed.
  bool SetClosingWriteParameters(scsi::DiscKind discType);

  BurnEngine& engine_;
  ImageLayout layout_;
  int32_t cacheSize_ = 0;
  std::string version_;
  bool finalizeTrack_ = true;
  bool performOPC_ = false;
  bool checkCapacity_ = true;
  bool verifyWrite_ = false;
  TDateTime dateEffective_ = 0;
  TDateTime dateExpiration_ = 0;
  std::string isoFileName_;
  TAddDirEvent onAddDir_;
  TWriteDoneEvent onWriteDone_;
  NotifyEvent onFinalizingTrack_;
  NotifyEvent onVerifying_;
  WriteRetryLimits writeRetries_;

  std::atomic<int64_t> bytesWritten_{0};
  std::atomic<int64_t> bytesVerified_{0};
  mutable std::mutex currentFileLock_;
  std::string currentFile_;
  std::atomic<bool> writing_{false};
  Event writerSignal_{false};  // auto-reset: a block, the end of the data, or an abort
  std::shared_ptr<Event> imageReleased_;
  scsi::UnitAddress writingUnit_;
  std::shared_ptr<Event> writerFinished_;
  // Set on a writer's thread: a write started from its OnWriteDone cannot wait for it.
  // Thread-local because it says which thread runs, whatever engine it writes for.
  static thread_local bool onWriterThread_;
  // Last members: joined before anything the writers use goes.
  OwnedThread<TThWrite> writer_;
  OwnedThread<TThWrite> retiredWriter_;
};

// The settings the forms store for their burner components: underrun protection, the
// default cache, post-gaps, no test write, no OPC, no finalizing, no replacing, read
// speed and device buffer sizes 0. The write speed keeps its 0 without a SET CD SPEED
// to a unit that is not chosen yet.
void ApplyStoredFormSettings(TVortalBurner& burner);

}  // namespace kvx
