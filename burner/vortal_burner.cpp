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

void TVortalBurner::SetCacheSize(int32_t Value) {
  cacheSize_ = Value < kMinimumCacheSize ? kMinimumCacheSize : Value - Value % static_cast<int32_t>(kSectorSize);
}

bool TVortalBurner::StartBurn() {
  // The header is what BuildImage made; without it the disc would get the files alone.
  if (layout_.ImageHeader.empty()) {
    ReportWriteDone(kNoImageText);
    return false;
  }
  {
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
  }
  writing_ = true;
  bytesWritten_ = 0;
  SetCurrentFile("");
  writerSignal_.Reset();
  const int64_t track_bytes = layout_.TrackSectors * kSectorSize;
  const bool read_back = verifyWrite_ && !TestWrite();
  auto cache = std::make_unique<TCacheThread>(cacheSize_, layout_.WritePostGap && track_bytes < kShortTrackBytes,
                                              track_bytes, layout_.ImageHeader, layout_.Entries, writerSignal_,
                                              read_back);
  // The read-back uses the image until the writer ends; otherwise the cache alone reads it.
  std::shared_ptr<Event> read_back_done = read_back ? std::make_shared<Event>(true) : nullptr;
  imageReleased_ = read_back ? read_back_done : cache->FinishedEvent();
  cache->WaitUntilSettled();
  if (!cache->Ready()) {
    SetCurrentFile(cache->CurrentFile());
    const std::string error = cache->Status();
    LogCacheFailure(*cache);
    cache.reset();
    if (read_back_done) read_back_done->Set();
    WriteEnded(error);
    return false;
  }
  auto writer = std::make_unique<TThWrite>(*this, std::move(cache), read_back_done);
  writer->SetPriority(ThreadPriority::TimeCritical);
  writerFinished_ = writer->FinishedEvent();
  {
    std::lock_guard<std::mutex> guard(engine_.lock_);
    engine_.lastWriterFinished_ = writerFinished_;
  }
  KeepWriter(std::move(writer));
  writer_->Start();
  return true;
}

void TVortalBurner::KeepWriter(std::unique_ptr<TThWrite> Writer) {
  // A writer whose OnWriteDone starts the next write cannot join itself: it is set
  // aside and joined later (at the next such hand-over, or with the component).
  if (writer_ && writer_->OnThisThread()) retiredWriter_ = std::move(writer_);
  writer_ = std::move(Writer);
}

void TVortalBurner::LogCacheFailure(const TCacheThread& Cache) {
  if (const std::string cause = Cache.Failure(); !cause.empty()) DebugMessage("<<< " + cause, scsi::kDebugFailure);
}

void TVortalBurner::AbortWrite() {
  std::lock_guard<std::mutex> guard(engine_.lock_);
  engine_.userAbort_ = true;
  if (engine_.activeBurner_) engine_.activeBurner_->writerSignal_.Set();
}

thread_local bool TVortalBurner::onWriterThread_ = false;

void TVortalBurner::WriteEnded(const std::string& Error) {
  {
    std::lock_guard<std::mutex> guard(engine_.lock_);
    engine_.activeBurner_ = nullptr;
    Transport().Claims().Release(writingUnit_, scsi::UnitUse::Writing);
  }
  writing_ = false;
  ReportWriteDone(Error);
}

void TVortalBurner::ReportWriteDone(const std::string& Error) {
  if (onWriteDone_) onWriteDone_(this, Error);
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

void TVortalBurner::SetCurrentFile(const std::string& Path) {
  std::lock_guard<std::mutex> guard(currentFileLock_);
  currentFile_ = Path;
}

bool TVortalBurner::SetClosingWriteParameters(scsi::DiscKind DiscType) {
  const bool finalize = FinalizeDisc();
  SetFinalizeDisc(true);
  const bool sent = SetWriteParameters({TestWrite(), UnderrunProtection()}, DiscType);
  SetFinalizeDisc(finalize);
  return sent;
}

bool TVortalBurner::ReadNextWritableAddress(uint32_t& StartSector) {
  WaitUntilReady(10000, 500);
  SetClosingWriteParameters(TSCSIDevice::GetDiscType());
  WaitUntilReady(10000, 500);
  const bool read = ReadTrackInformation(GetLastSessionNumber() + 1u);
  StartSector = read ? TrackInfo().NextWritableAddress() : 0;
  return read;
}

// READ TOC format 1: the first track of the last complete session and where it starts.
bool TVortalBurner::ReadLastSessionStart(uint32_t& Sector) {
  std::array<uint8_t, 12> answer{};
  if (!ReadTOC(scsi::TOCFormat::SessionInformation, answer, 0, false, 0) || answer[3] == 0) return false;
  Sector = scsi::BigEndian32(&answer[8]);
  return true;
}

}  // namespace kvx
