#include "tests/burner/burner_rig.h"

#include <algorithm>
#include <fstream>

#include "burner/iso_records.h"
#include "burner/track_image.h"
#include "scsi/aspi_defs.h"

namespace kvx::testing {

namespace fs = std::filesystem;

class RecordingTransport : public scsi::SCSITransport {
 public:
  RecordingTransport(RecordingPlatform& platform, std::unique_ptr<scsi::SCSITransport> inner)
      : platform_(platform), inner_(std::move(inner)) {}
  uint32_t SupportInfo() override { return inner_->SupportInfo(); }
  uint32_t SendCommand(void* srb) override {
    auto* request = static_cast<scsi::SRB_ExecSCSICmd*>(srb);
    if (request && request->SRB_Cmd == scsi::SC_EXEC_SCSI_CMD) platform_.Record(request->CDBByte, request->SRB_CDBLen);
    return inner_->SendCommand(srb);
  }
  std::unique_ptr<scsi::CompletionEvent> NewCompletionEvent() override { return inner_->NewCompletionEvent(); }

 private:
  RecordingPlatform& platform_;
  std::unique_ptr<scsi::SCSITransport> inner_;
};

scsi::TransportPlatform::LibraryLoad RecordingPlatform::LoadASPILibrary(const std::string& path,
                                                                        std::unique_ptr<scsi::SCSITransport>& transport) {
  std::unique_ptr<scsi::SCSITransport> inner;
  const LibraryLoad load = inner_.LoadASPILibrary(path, inner);
  transport = std::make_unique<RecordingTransport>(*this, std::move(inner));
  return load;
}

void RecordingPlatform::Record(const uint8_t* cdb, size_t length) {
  std::function<void(const uint8_t*)> hook;
  {
    std::lock_guard<std::mutex> guard(lock_);
    sent_.push_back({std::vector<uint8_t>(cdb, cdb + length), std::this_thread::get_id()});
    hook = hook_;
  }
  if (hook) hook(cdb);
}

std::vector<SentCommand> RecordingPlatform::Sent() const {
  std::lock_guard<std::mutex> guard(lock_);
  return sent_;
}

std::vector<uint8_t> RecordingPlatform::Opcodes() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<uint8_t> opcodes;
  for (const SentCommand& command : sent_) opcodes.push_back(command.Cdb[0]);
  return opcodes;
}

size_t RecordingPlatform::Count(uint8_t opcode) const {
  const std::vector<uint8_t> opcodes = Opcodes();
  return static_cast<size_t>(std::count(opcodes.begin(), opcodes.end(), opcode));
}

void RecordingPlatform::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  sent_.clear();
}

void RecordingPlatform::SetHook(std::function<void(const uint8_t* cdb)> hook) {
  std::lock_guard<std::mutex> guard(lock_);
  hook_ = std::move(hook);
}

::testing::AssertionResult RecorderRig::StartRecorders(const std::string& path, const std::string& configuration) {
  std::ofstream(path) << configuration;
  std::string error;
  manager = aspi::LoadASPIManager(path, clock, error);
  if (!manager) return ::testing::AssertionFailure() << error;
  platform = std::make_unique<RecordingPlatform>(*manager);
  install = std::make_unique<scsi::testing::TransportInstall>(*platform, false);
  return ::testing::AssertionSuccess();
}

void RecorderRig::StopRecorders() {
  install.reset();
  platform.reset();
  manager.reset();
}

void BurnerTest::SetUp() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  folder = fs::temp_directory_path() / (std::string("kvx_burner_") + test->test_suite_name() + "_" + test->name());
  fs::remove_all(folder);
  fs::create_directories(folder / "src");
  threadsBefore = ThreadCount();
}

void BurnerTest::TearDown() {
  burner.reset();
  engine.reset();
  StopRecorders();
  fs::remove_all(folder);
}

void BurnerTest::Start(const std::string& unitKeys) {
  ASSERT_TRUE(StartRecorders((folder / "kvxaspi.ini").string(), "[Unit0]\nImage=" + ImagePath() + "\n" + unitKeys));
  engine = std::make_unique<BurnEngine>(install->Hub());
  burner = std::make_unique<TVortalBurner>(*engine);
  burner->SetSleepFunction([this](uint32_t ms) { clock.Advance(ms); });
  burner->SetOnDebugMessage([this](scsi::TSCSIDevice*, const std::string& line, uint8_t) {
    std::lock_guard<std::mutex> guard(eventsLock);
    debugLines.push_back(line);
  });
  burner->SetOnFinalizingTrack([this](TVortalBurner*) {
    std::lock_guard<std::mutex> guard(eventsLock);
    ++finalizing;
    finalizingBeforeDone = writeDone.empty();
  });
  burner->SetOnWriteDone([this](TVortalBurner*, const std::string& failure) {
    {
      std::lock_guard<std::mutex> guard(eventsLock);
      writeDone.push_back(failure);
      writeDoneThreads.push_back(std::this_thread::get_id());
    }
    done.Set();
  });
  ASSERT_TRUE(burner->InitializeASPI(false));
  ASSERT_FALSE(burner->Devices().empty());
  burner->SetDevice(burner->Devices()[0]);
  platform->Clear();
}

std::string BurnerTest::Source(const std::string& name, size_t size, char seed) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(seed + i * 13 + i / 2048);
  const fs::path path = folder / "src" / name;
  std::ofstream(path, std::ios::binary) << data;
  return path.string();
}

void BurnerTest::Build(const std::vector<std::string>& files) {
  burner->ResetImage(kDefaultMaxFiles, kDefaultMaxDirectories);
  for (const std::string& file : files) ASSERT_EQ(burner->AddFile("\\", file, false), AddFileResult::Found) << file;
  burner->BuildImage(false);
  expectedTrack.clear();
  std::string error;
  ASSERT_TRUE(WriteTrackData(burner->Image(), [&](const uint8_t* data, size_t size) {
    expectedTrack.append(reinterpret_cast<const char*>(data), size);
    return true;
  }, error)) << error;
}

std::string BurnerTest::Burn() {
  done.Reset();
  if (burner->StartBurn()) {
    EXPECT_TRUE(done.Wait(60000));
    burner->WaitForWriter();
  }
  std::lock_guard<std::mutex> guard(eventsLock);
  return writeDone.empty() ? std::string("(no OnWriteDone)") : writeDone.back();
}

std::string BurnerTest::ImageSectors(uint64_t first, uint64_t count) const {
  std::ifstream in(ImagePath(), std::ios::binary);
  std::string data(count * kSectorSize, '\0');
  in.seekg(static_cast<std::streamoff>(first * kSectorSize));
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(in.gcount()));
  return data;
}

bool BurnerTest::HasDebugLine(const std::string& line) const {
  std::lock_guard<std::mutex> guard(eventsLock);
  return std::find(debugLines.begin(), debugLines.end(), line) != debugLines.end();
}

size_t BurnerTest::ThreadCount() { return ThreadsOfThisProcess(); }

size_t ThreadsOfThisProcess() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task")) ++count;
  return count;
}

::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << got.size() << " bytes instead of " << want.size();
  const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
  if (diff.first != got.end()) return ::testing::AssertionFailure() << "first difference at byte " << (diff.first - got.begin());
  return ::testing::AssertionSuccess();
}

}  // namespace kvx::testing
