#include "burner/vortal_burner.h"

#include "burner/cache_thread.h"
#include "burner/iso_records.h"
#include "burner/track_writer.h"

namespace kvx {
namespace {

constexpr const char* kWriteRunningText = "A WRITE IS ALREADY RUNNING";
constexpr const char* kUnitErasingText = "AN ERASE IS RUNNING ON THIS UNIT";
constexpr const char* kNoImageText = "NO IMAGE TO WRITE";

}  // namespace

TVortalBurner::TVortalBurner(BurnEngine& engine)
    : TSCSIDevice(engine.Transport()), engine_(engine), layout_(*this) {
  layout_.WritePostGap = true;
  layout_.ResetImage(kDefaultMaxFiles, kDefaultMaxDirectories);
  SetCacheSize(kDefaultCacheSize);
  layout_.JolietFileSystem = true;
  finalizeTrack_ = true;
  version_ = kComponentVersion;
  SetUnderrunProtection(true);
}

void ApplyStoredFormSettings(TVortalBurner& burner) {
  burner.SetDeviceBufferSize(0);
  burner.SetDeviceFreeBufferSize(0);
  burner.SetUnderrunProtection(true);
  burner.SetReadSpeed(0);
  burner.SetFinalizeDisc(false);
  burner.SetTestWrite(false);
  burner.SetReplaceFile(false);
  burner.SetPerformOPC(false);
  burner.SetCacheSize(kDefaultCacheSize);
  burner.SetWritePostGap(true);
}

TVortalBurner::~TVortalBurner() {
  if (writing_) AbortWrite();
  WaitForWriter();
  writer_.reset();
  retiredWriter_.reset();
}

void TVortalBurner::SetCacheSize(int32_t value) {
  cacheSize_ = value < kMinimumCacheSize ? kMinimumCacheSize : value - value % static_cast<int32_t>(kSectorSize);
}

bool TVortalBurner::StartBurn() { return ClaimForWrite() && StartWrite(); }

bool TVortalBurner::ClaimForWrite() {
  // The header is what BuildImage made; without it the disc would get the files alone.
  if (layout_.ImageHeader.empty()) {
    ReportWriteDone(kNoImageText);
    return false;
  }
  std::lock_guard<std::mutex> guard(engine_.lock_);
  if (engine_.activeBurner_) {
    ReportWriteDone(kWriteRunningText);
    return false;
  }
  scsi::UnitUse holder = scsi::UnitUse::None;
  if (!Transport().Claims().Claim(Address(), scsi::UnitUse::Writing, holder)) {
    ReportWriteDone(kUnitErasingText);
    return false;
  }
  writingUnit_ = Address();
  // The last writer has reported; let it finish its last steps.
  if (engine_.lastWriterFinished_ && !onWriterThread_) engine_.lastWriterFinished_->Wait();
  engine_.activeBurner_ = this;
  engine_.userAbort_ = false;
  return true;
}

bool TVortalBurner::StartWrite() {
  writing_ = true;
  bytesWritten_ = 0;
  bytesVerified_ = 0;
  SetCurrentFile("");
  writerSignal_.Reset();
  const int64_t trackBytes = layout_.TrackSectors * kSectorSize;
  const bool readBack = verifyWrite_ && !TestWrite();
  auto cache = MakeOwnedThread<TCacheThread>(static_cast<uint32_t>(cacheSize_),  // 2 MiB or more, SetCacheSize
                                             layout_.WritePostGap && trackBytes < kShortTrackBytes,
                                             trackBytes, layout_.ImageHeader, layout_.Entries, writerSignal_,
                                             readBack);
  // The read-back uses the image until the writer ends; otherwise the cache alone reads it.
  std::shared_ptr<Event> readBackDone = readBack ? std::make_shared<Event>(true) : nullptr;
  imageReleased_ = readBack ? readBackDone : cache->FinishedEvent();
  cache->WaitUntilSettled();
  if (!cache->Ready()) {
    SetCurrentFile(cache->CurrentFile());
    const std::string error = cache->Status();
    LogCacheFailure(*cache);
    cache.reset();
    if (readBackDone) readBackDone->Set();
    WriteEnded(error);
    return false;
  }
  StartWriter(std::move(cache), std::move(readBackDone));
  return true;
}

void TVortalBurner::StartWriter(OwnedThread<TCacheThread> cache, std::shared_ptr<Event> readBackDone) {
  auto writer = MakeOwnedThread<TThWrite>(*this, std::move(cache), std::move(readBackDone));
  writer->SetPriority(ThreadPriority::TimeCritical);
  writerFinished_ = writer->FinishedEvent();
  {
    std::lock_guard<std::mutex> guard(engine_.lock_);
    engine_.lastWriterFinished_ = writerFinished_;
  }
  KeepWriter(std::move(writer));
  writer_->Start();
}

void TVortalBurner::KeepWriter(OwnedThread<TThWrite> writer) {
  // A writer whose OnWriteDone starts the next write cannot join itself: it is set
  // aside and joined later (at the next such hand-over, or with the component).
  if (writer_ && writer_->OnThisThread()) retiredWriter_ = std::move(writer_);
  writer_ = std::move(writer);
}

void TVortalBurner::LogCacheFailure(const TCacheThread& cache) {
  if (const std::string cause = cache.Failure(); !cause.empty()) DebugMessage("<<< " + cause, scsi::kDebugFailure);
}

void TVortalBurner::AbortWrite() {
  std::lock_guard<std::mutex> guard(engine_.lock_);
  engine_.userAbort_ = true;
  if (engine_.activeBurner_) engine_.activeBurner_->writerSignal_.Set();
}

thread_local bool TVortalBurner::onWriterThread_ = false;

void TVortalBurner::WriteEnded(const std::string& error) {
  {
    std::lock_guard<std::mutex> guard(engine_.lock_);
    engine_.activeBurner_ = nullptr;
    Transport().Claims().Release(writingUnit_, scsi::UnitUse::Writing);
  }
  writing_ = false;
  ReportWriteDone(error);
}

void TVortalBurner::ReportWriteDone(const std::string& error) {
  if (onWriteDone_) onWriteDone_(this, error);
}

void TVortalBurner::WaitForWriter() {
  if (writerFinished_) writerFinished_->Wait();
}

void TVortalBurner::WaitForImage() const {
  if (imageReleased_) imageReleased_->Wait();
}

std::string TVortalBurner::CurrentFile() const {
  std::lock_guard<std::mutex> guard(currentFileLock_);
  return currentFile_;
}

void TVortalBurner::SetCurrentFile(const std::string& path) {
  std::lock_guard<std::mutex> guard(currentFileLock_);
  currentFile_ = path;
}

bool TVortalBurner::SetClosingWriteParameters(scsi::DiscKind discType) {
  const bool finalize = FinalizeDisc();
  SetFinalizeDisc(true);
  const bool sent = SetWriteParameters({TestWrite(), UnderrunProtection()}, discType);
  SetFinalizeDisc(finalize);
  return sent;
}

bool TVortalBurner::ReadNextWritableAddress(uint32_t& startSector) {
  WaitUntilReady(10000, 500);
  SetClosingWriteParameters(TSCSIDevice::GetDiscType());
  WaitUntilReady(10000, 500);
  const bool read = ReadTrackInformation(GetLastSessionNumber() + 1u);
  startSector = read ? TrackInfo().NextWritableAddress() : 0;
  return read;
}

// READ TOC format 1: the first track of the last complete session and where it starts.
bool TVortalBurner::ReadLastSessionStart(uint32_t& sector) {
  std::array<uint8_t, 12> answer{};
  if (!ReadTOC(scsi::TOCFormat::SessionInformation, answer, 0, false, 0) || answer[3] == 0) return false;
  sector = scsi::BigEndian32(&answer[8]);
  return true;
}

}  // namespace kvx
