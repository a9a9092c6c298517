// Fuzz target of the command layer: every answer a unit gives (status, sense, data)
// comes from the input, and the layer must never read or write outside its buffers.
// Built with clang -fsanitize=fuzzer and KVX_LIBFUZZER, LLVMFuzzerTestOneInput is the
// entry point; otherwise main runs a bounded number of seeded random and mutated inputs
// (a native test under ASan/UBSan), or, with --capture, writes as an input the answers a
// virtual recorder gives to the same commands (the seeds of the fuzz corpus); --check
// proves that a seed is that capture and that it replays the recorder's conversation.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "scsi/scsi_device.h"
#include "scsi/sense_text.h"
#include "scsi/transport.h"
#ifndef KVX_LIBFUZZER
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "standins/aspi/aspi_manager.h"
#endif

namespace {

using namespace kvx::scsi;

// Hands out the input's bytes; zeros once it is used up. While capturing, every byte
// handed out or recorded is also appended to the capture.
class InputBytes {
 public:
  void Reset(const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    position_ = 0;
  }
  uint8_t Next() { return Record(position_ < size_ ? data_[position_++] : 0); }
  // Bytes used so far: read from the input, or written to the capture.
  size_t Used() const { return capture_ ? capture_->size() : position_; }
  void Fill(uint8_t* out, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[i] = Next();
  }
  void Capture(std::vector<uint8_t>* capture) { capture_ = capture; }
  uint8_t Record(uint8_t byte) {
    if (capture_) capture_->push_back(byte);
    return byte;
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0, position_ = 0;
  std::vector<uint8_t>* capture_ = nullptr;
};

InputBytes input;
// When set, one line per request: its kind, its opcode and where in the input its answer starts.
std::vector<std::string>* transcript = nullptr;
constexpr uint8_t kStatuses[] = {SS_COMP, SS_COMP, SS_COMP, SS_ERR, SS_ERR, SS_PENDING, SS_NO_DEVICE, 0x97};

// The unit that answers while capturing (it completes requests at once); empty when the input does.
std::function<uint32_t(void*)> capturedUnit;

bool DataIn(const SCSIRequest& request) {
  return request.SRB_BufPointer != nullptr && (request.SRB_Flags & SRB_DIR_IN);
}

void Transcribe(const SRB_Header& header) {
  if (!transcript) return;
  const bool command = header.SRB_Cmd == SC_EXEC_SCSI_CMD;
  const SCSIRequest& request = reinterpret_cast<const SCSIRequest&>(header);
  transcript->push_back(std::to_string(header.SRB_Cmd) + " " + (command ? std::to_string(request.CDBByte[0]) : "-") +
                        " at " + std::to_string(input.Used()));
}

// Records a real unit's answer as the bytes FuzzTransport reads back into the same answer.
uint32_t CaptureAnswer(void* srb) {
  const uint32_t status = capturedUnit(srb);
  auto* header = static_cast<SRB_Header*>(srb);
  Transcribe(*header);
  if (header->SRB_Cmd == SC_HA_INQUIRY) return status;
  if (header->SRB_Cmd != SC_EXEC_SCSI_CMD) return input.Record(static_cast<uint8_t>(status));
  auto& request = *static_cast<SCSIRequest*>(srb);
  const uint8_t* known = std::find(std::begin(kStatuses), std::end(kStatuses), request.SRB_Status);
  input.Record(static_cast<uint8_t>(known == std::end(kStatuses) ? 7 : known - std::begin(kStatuses)));
  if (DataIn(request))
    for (uint32_t i = 0; i < request.SRB_BufLen; ++i) input.Record(request.SRB_BufPointer[i]);
  if (request.SRB_Status == SS_ERR) {
    input.Record(request.SRB_HaStat);
    input.Record(request.SRB_TargStat);
    for (size_t i = 0; i < std::min<size_t>(request.SRB_SenseLen, sizeof(request.SenseArea)); ++i)
      input.Record(request.SenseArea[i]);
  }
  return status;
}

class FuzzEvent : public CompletionEvent {
 public:
  void* PostProcHandle() override { return this; }
  bool Wait(uint32_t) override { return input.Next() & 1; }
};

// A unit whose answers are the input. An INQUIRY that completes names a CD/DVD unit, so
// that the device stays selected; its identity bytes come from the input.
class FuzzTransport : public SCSITransport {
 public:
  uint32_t SupportInfo() override { return 0x0101; }
  std::unique_ptr<CompletionEvent> NewCompletionEvent() override { return std::make_unique<FuzzEvent>(); }
  uint32_t SendCommand(void* srb) override {
    if (capturedUnit) return CaptureAnswer(srb);
    auto* header = static_cast<SRB_Header*>(srb);
    Transcribe(*header);
    if (header->SRB_Cmd == SC_HA_INQUIRY) {
      static_cast<SRB_HAInquiry*>(srb)->HA_Count = 1;
      return header->SRB_Status = SS_COMP;
    }
    if (header->SRB_Cmd != SC_EXEC_SCSI_CMD) return header->SRB_Status = input.Next();
    auto& request = *static_cast<SCSIRequest*>(srb);
    const uint8_t status = kStatuses[input.Next() & 7];
    if (DataIn(request)) input.Fill(request.SRB_BufPointer, request.SRB_BufLen);
    if (request.CDBByte[0] == 0x12 && status == SS_COMP && DataIn(request)) request.SRB_BufPointer[0] = 0x05;
    if (status == SS_ERR) {
      request.SRB_HaStat = input.Next();
      request.SRB_TargStat = input.Next();
      // The transport fills what it was asked for; the rest of the area is the caller's.
      input.Fill(request.SenseArea, std::min<size_t>(request.SRB_SenseLen, sizeof(request.SenseArea)));
    }
    return request.SRB_Status = status;
  }
};

class FuzzPlatform : public TransportPlatform {
 public:
  LibraryLoad LoadASPILibrary(const std::string&, std::unique_ptr<SCSITransport>& transport) override {
    transport = std::make_unique<FuzzTransport>();
    return LibraryLoad::Loaded;
  }
  std::string SystemFolder() override { return {}; }
  VolumeSystem* Volumes() override { return nullptr; }
  uint32_t QuietErrorMode() override { return 0; }
  void RestoreErrorMode(uint32_t) override {}
};

// The failure-text builder on a request taken whole from the input.
void BuildTextFromRawRequest() {
  SCSIRequest request{};
  request.SRB_Status = input.Next();
  request.SRB_HaStat = input.Next();
  request.SRB_TargStat = input.Next();
  input.Fill(request.SenseArea, sizeof(request.SenseArea));
  const FailureText failure = BuildFailureText(request);
  if (failure.text.size() > 200) std::abort();
}

// The commands a burn and a blanking send, each answered from the input: their status
// and sense, and the few answers they read back.
void Burn(TSCSIDevice& device) {
  std::array<uint8_t, 2 * 2048> blocks{};
  std::array<uint8_t, 16> parameters{};
  device.TestUnitReady(5000);
  device.PreventAllowRemoval(false);
  device.SetCDSpeed(device.GetMaxReadSpeed(), device.GetCurrentWriteSpeed());
  device.SendOPCInformation();
  device.ReserveTrack(1000);
  device.SendCueSheet(parameters);
  device.Write10(0, 2, 0, blocks);
  device.SynchronizeCache(60000, input.Next() & 1);
  device.CloseTrackSession(CloseFunction::Track, input.Next() & 1);
  device.CloseTrackSession(CloseFunction::Finalize, false);
  device.SendTimeStamp(45000.5);
  device.SetStreaming(parameters);
  device.SendDVDStructure(0xC0, parameters);
  device.Read10(16, 2, blocks);
  device.ReadTOC(TOCFormat::FullTOC, std::span<uint8_t>(blocks.data(), 804), 1, false, 0);
  device.Blank(static_cast<BlankType>(input.Next() % 7));
  device.FormatUnit(0x11, parameters);
  device.RezeroUnit();
  device.RequestSense(std::span<uint8_t>(blocks.data(), 255));
  device.PreventAllowRemoval(true);
  device.LoadEject(input.Next() & 1);
}

// Each input meets a unit of its own, from the adapter inquiry on: nothing one input
// taught the layer is left for the next, so every input replays alone.
void RunOne(const uint8_t* data, size_t size) {
  input.Reset(data, size);
  FuzzPlatform platform;
  SCSITransportHub transport(platform);
  transport.Initialize(false);
  TSCSIDevice device(transport);
  device.SetSleepFunction([](uint32_t) {});
  device.SetDevice("0:0:0,E: FUZZ");  // INQUIRY, capabilities, write-mode probe
  BuildTextFromRawRequest();
  device.ReadCapabilities();
  device.GetDiscType();
  for (DiscKind discType : {DiscKind::CDROM, DiscKind::CDR, DiscKind::CDRW, DiscKind::DVDMinusR, DiscKind::DVDRAM,
                            DiscKind::DVDMinusRW, DiscKind::DVDPlusRW, DiscKind::DVDPlusR}) {
    device.SetFinalizeDisc(input.Next() & 1);
    const bool testWrite = input.Next() & 1;
    device.SetWriteParameters({testWrite, static_cast<bool>(input.Next() & 1)}, discType);
  }
  uint32_t size32, free32;
  device.ReadBufferCapacity(size32, free32);
  device.ReadTrackInformation(device.GetLastSessionNumber() + 1u);
  device.ReadFormatCapacities();
  device.GetMaxWriteSpeed();
  device.SetDiscType(static_cast<DiscKind>(input.Next() % 14));
  device.WaitUntilReady(4000, 1000);
  Burn(device);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunOne(data, size);
  return 0;
}

#ifndef KVX_LIBFUZZER
namespace {

struct Conversation {
  std::vector<uint8_t> answers;         // the input that gives them back
  std::vector<std::string> transcript;  // the requests, each with where its answer starts
};

// What unit 0 of a recorder configuration answers to RunOne's requests; nullopt (and a
// message) when the configuration cannot be loaded.
std::optional<Conversation> Capture(const char* configPath) {
  kvx::aspi::ManualClock clock;
  std::string error;
  const std::unique_ptr<kvx::aspi::ASPIManager> manager = kvx::aspi::LoadASPIManager(configPath, clock, error);
  if (!manager) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return std::nullopt;
  }
  Conversation conversation;
  capturedUnit = [&](void* srb) { return manager->Execute(srb); };
  input.Capture(&conversation.answers);
  transcript = &conversation.transcript;
  RunOne(nullptr, 0);
  transcript = nullptr;
  input.Capture(nullptr);
  capturedUnit = nullptr;
  return conversation;
}

int CaptureRecorder(const char* configPath, const char* inputPath) {
  const std::optional<Conversation> conversation = Capture(configPath);
  if (!conversation) return 1;
  std::ofstream(inputPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(conversation->answers.data()),
             static_cast<std::streamsize>(conversation->answers.size()));
  std::printf("%zu bytes\n", conversation->answers.size());
  return 0;
}

// A seed must be the recorder's capture as it stands, and replaying it must send the same
// requests, each answered from the same place: else the fuzzer starts from answers no
// unit gives.
bool CheckSeed(const std::string& configPath, const std::string& seedPath) {
  const std::optional<Conversation> recorder = Capture(configPath.c_str());
  if (!recorder) return false;
  std::ifstream in(seedPath, std::ios::binary);
  const std::vector<uint8_t> seed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (seed != recorder->answers) {
    std::fprintf(stderr, "%s is not what %s answers now: capture it again with --capture\n", seedPath.c_str(),
                 configPath.c_str());
    return false;
  }
  std::vector<std::string> replayed;
  transcript = &replayed;
  RunOne(seed.data(), seed.size());
  transcript = nullptr;
  const auto [expected, actual] = std::mismatch(recorder->transcript.begin(), recorder->transcript.end(),
                                                replayed.begin(), replayed.end());
  if (expected != recorder->transcript.end() || actual != replayed.end()) {
    std::fprintf(stderr, "%s replays apart from the recorder at request %zu: recorder \"%s\", replay \"%s\"\n", seedPath.c_str(),
                 static_cast<size_t>(expected - recorder->transcript.begin()),
                 expected != recorder->transcript.end() ? expected->c_str() : "(end)",
                 actual != replayed.end() ? actual->c_str() : "(end)");
    return false;
  }
  std::printf("%s: %zu requests replayed as the recorder answered them\n", seedPath.c_str(), replayed.size());
  return true;
}

// Every recorder configuration NAME.ini of a folder against the seed NAME of another.
int CheckSeeds(const std::filesystem::path& recorders, const std::filesystem::path& seeds) {
  std::vector<std::filesystem::path> configs;
  for (const auto& entry : std::filesystem::directory_iterator(recorders))
    if (entry.path().extension() == ".ini") configs.push_back(entry.path());
  std::sort(configs.begin(), configs.end());
  if (configs.empty()) {
    std::fprintf(stderr, "no recorder configuration in %s\n", recorders.c_str());
    return 1;
  }
  int failed = 0;
  for (const auto& config : configs)
    if (!CheckSeed(config.string(), (seeds / config.stem()).string())) ++failed;
  return failed == 0 ? 0 : 1;
}

}  // namespace

// Seeded random inputs, and mutations of inputs that answer with plausible pages;
// "--capture CONFIG INPUT" records a virtual recorder's answers instead, and
// "--check RECORDERS SEEDS" checks each seed against the configuration of its name.
int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--capture") return CaptureRecorder(argv[2], argv[3]);
  if (argc == 4 && std::string(argv[1]) == "--check") return CheckSeeds(argv[2], argv[3]);
  const int iterations = argc > 1 ? std::atoi(argv[1]) : 3000;
  std::mt19937 random(20240229);
  std::vector<uint8_t> seed(4096);
  for (size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<uint8_t>(i % 7 == 0 ? 0x2A : i % 5 == 0 ? 0x05 : i);
  for (int i = 0; i < iterations; ++i) {
    std::vector<uint8_t> data;
    if (i % 2 == 0) {
      data.resize(random() % 8192);
      for (auto& byte : data) byte = static_cast<uint8_t>(random());
    } else {
      data = seed;
      for (int flips = 0; flips < 32; ++flips) data[random() % data.size()] = static_cast<uint8_t>(random());
      data.resize(random() % data.size());
    }
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("%d inputs\n", iterations);
  return 0;
}
#endif
