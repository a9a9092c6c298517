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
using TWriteDoneEvent = std::function<void(TVortalBurner* Sender, const std::string& Error)>;
using NotifyEvent = std::function<void(TVortalBurner* Sender)>;
// Kept for forms that assign it; the engine never calls it.
using TAddDirEvent = std::function<void(TVortalBurner* Sender, std::string& LongName, std::string& ShortName, bool& Skip)>;

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
  void SetCacheSize(int32_t Value);
  const std::string& Version() const { return version_; }
  // The version is the component's own: a stored value is ignored.
  void SetVersion(const std::string&) {}
  bool FinalizeTrack() const { return finalizeTrack_; }
  void SetFinalizeTrack(bool Value) { finalizeTrack_ = Value; }
  bool PerformOPC() const { return performOPC_; }
  void SetPerformOPC(bool Value) { performOPC_ = Value; }

  const std::string& IdVolume() const { return layout_.IdVolume; }
  void SetIdVolume(const std::string& Value) { layout_.IdVolume = Value; }
  const std::string& IdSystem() const { return layout_.IdSystem; }
  void SetIdSystem(const std::string& Value) { layout_.IdSystem = Value; }
  const std::string& IdVolumeSet() const { return layout_.IdVolumeSet; }
  void SetIdVolumeSet(const std::string& Value) { layout_.IdVolumeSet = Value; }
  const std::string& IdPublisher() const { return layout_.IdPublisher; }
  void SetIdPublisher(const std::string& Value) { layout_.IdPublisher = Value; }
  const std::string& IdPreparer() const { return layout_.IdPreparer; }
  void SetIdPreparer(const std::string& Value) { layout_.IdPreparer = Value; }
  const std::string& IdApplication() const { return layout_.IdApplication; }
  void SetIdApplication(const std::string& Value) { layout_.IdApplication = Value; }
  const std::string& FileCopyright() const { return layout_.FileCopyright; }
  void SetFileCopyright(const std::string& Value) { layout_.FileCopyright = Value; }
  const std::string& FileAbstract() const { return layout_.FileAbstract; }
  void SetFileAbstract(const std::string& Value) { layout_.FileAbstract = Value; }
  const std::string& FileBibliographic() const { return layout_.FileBibliographic; }
  void SetFileBibliographic(const std::string& Value) { layout_.FileBibliographic = Value; }
  TDateTime DateCreation() const { return layout_.DateCreation; }
  void SetDateCreation(TDateTime Value) { layout_.DateCreation = Value; }
  TDateTime DateModification() const { return layout_.DateModification; }
  void SetDateModification(TDateTime Value) { layout_.DateModification = Value; }
  TDateTime DateEffective() const { return dateEffective_; }
  void SetDateEffective(TDateTime Value) { dateEffective_ = Value; }
  TDateTime DateExpiration() const { return dateExpiration_; }
  void SetDateExpiration(TDateTime Value) { dateExpiration_ = Value; }
  const std::string& ISOFileName() const { return isoFileName_; }
  void SetISOFileName(const std::string& Value) { isoFileName_ = Value; }
  bool JolietFileSystem() const { return layout_.JolietFileSystem; }
  void SetJolietFileSystem(bool Value) { layout_.JolietFileSystem = Value; }
  bool ReplaceFile() const { return layout_.ReplaceFile; }
  void SetReplaceFile(bool Value) { layout_.ReplaceFile = Value; }
  bool WritePostGap() const { return layout_.WritePostGap; }
  void SetWritePostGap(bool Value) { layout_.WritePostGap = Value; }
  // A new session on an appendable disc keeps the files of the last one visible (off).
  bool ImportPreviousSession() const { return layout_.ImportPreviousSession; }
  void SetImportPreviousSession(bool Value) { layout_.ImportPreviousSession = Value; }
  void SetOnAddFile(TAddFileEvent Handler) { layout_.OnAddFile = std::move(Handler); }
  void SetOnAddDir(TAddDirEvent Handler) { onAddDir_ = std::move(Handler); }
  void SetOnWriteDone(TWriteDoneEvent Handler) { onWriteDone_ = std::move(Handler); }
  void SetOnFinalizingTrack(NotifyEvent Handler) { onFinalizingTrack_ = std::move(Handler); }

  // Before anything is written, a disc without room for the track is refused (on).
  bool CheckCapacity() const { return checkCapacity_; }
  void SetCheckCapacity(bool Value) { checkCapacity_ = Value; }
  // After a successful write the track is read back and compared (off).
  bool VerifyWrite() const { return verifyWrite_; }
  void SetVerifyWrite(bool Value) { verifyWrite_ = Value; }
  const WriteRetryLimits& WriteRetries() const { return writeRetries_; }
  void SetWriteRetries(const WriteRetryLimits& Value) { writeRetries_ = Value; }

  // --- Image (the tree must not change while a write reads it: these wait for it) ---
  void ResetImage(int MaxFiles, int MaxDirectories) {
    WaitForImage();
    layout_.ResetImage(MaxFiles, MaxDirectories);
  }
  AddFileResult AddFile(std::string_view DestinationPath, std::string_view SourceFile, bool KeepSourcePath) {
    WaitForImage();
    return layout_.AddFile(DestinationPath, SourceFile, KeepSourcePath);
  }
  TISODirectory* CreateDirectory(TISODirectory* Parent, std::string_view Name, uint32_t Attr) {
    WaitForImage();
    return layout_.CreateDirectory(Parent, Name, Attr);
  }
  TISODirectory* ForceDirectories(std::string_view Path) {
    WaitForImage();
    return layout_.ForceDirectories(Path);
  }
  TISODirectory* FindDirectory(std::string_view Path) const { return layout_.FindDirectory(Path); }
  void BuildImage(bool SkipDiscQuery) {
    WaitForImage();
    layout_.BuildImage(SkipDiscQuery);
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
  std::string CurrentFile() const;
  // Whether a write of this component is running (from StartBurn to OnWriteDone).
  bool Writing() const { return writing_; }
  // Blocks until the writer of the last write has ended.
  void WaitForWriter();

  // --- The layout's view of the disc ---------------------------------------------------
  scsi::DiscKind GetDiscType() override { return TSCSIDevice::GetDiscType(); }
  // Waits for the unit, announces the write parameters and reads where the next track
  // starts; false (StartSector 0) when the track information could not be read.
  bool ReadNextWritableAddress(uint32_t& StartSector) override;
  bool ReadLastSessionStart(uint32_t& Sector) override;
  bool ReadSectors(uint32_t Sector, uint16_t Count, uint8_t* Buffer) override {
    return Read10(Sector, Count, std::span<uint8_t>(Buffer, static_cast<size_t>(Count) * 2048));
  }
  void SetDoDebug(bool Value) override { TSCSIDevice::SetDoDebug(Value); }
  void DebugMessage(const std::string& Message, uint8_t mType) override { TSCSIDevice::DebugMessage(Message, mType); }

 private:
  friend class TThWrite;

  void SetCurrentFile(const std::string& Path);
  // Waits until the running write no longer reads the image (its cache has ended, and
  // its read-back).
  void WaitForImage() const;
  bool AbortRequested() const { return engine_.userAbort_; }
  // The write is over: the flag is cleared just before OnWriteDone.
  void WriteEnded(const std::string& Error);
  void ReportWriteDone(const std::string& Error);
  // Keeps the new write's writer, joining the one before it.
  void KeepWriter(std::unique_ptr<TThWrite> Writer);
  // Logs why the cache's reading failed, when an exception ended it.
  void LogCacheFailure(const TCacheThread& Cache);
  // Sends the write parameters page as if the disc were to be closed.
  bool SetClosingWriteParameters(scsi::DiscKind DiscType);

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
  WriteRetryLimits writeRetries_;

  std::atomic<int64_t> bytesWritten_{0};
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
  std::unique_ptr<TThWrite> writer_;
  std::unique_ptr<TThWrite> retiredWriter_;
};

// The settings the forms store for their burner components: underrun protection, the
// default cache, post-gaps, no test write, no OPC, no finalizing, no replacing, read
// speed and device buffer sizes 0. The write speed keeps its 0 without a SET CD SPEED
// to a unit that is not chosen yet.
void ApplyStoredFormSettings(TVortalBurner& burner);

}  // namespace kvx
