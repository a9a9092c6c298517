// The burning pipeline at full speed: a 2 GiB file set laid out as one track and
// streamed by the read-ahead cache and the writer into an unthrottled virtual recorder
// reached in-process (written data is dropped), with the default 4 MiB cache. Reports
// the throughput and the CPU time of the burn, and in the same run the throughput of
// reading the same files with cat (and with plain reads of the cache's block size).
// Goals: at least 1 GB/s, and at least half of cat.
//
// burn_pipeline_bench [FOLDER]   (the files are made there, or in a temporary folder)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/event.h"
#include "burner/vortal_burner.h"
#include "standins/aspi/inprocess_transport.h"

namespace {

using namespace kvx;
namespace fs = std::filesystem;

constexpr uint64_t kTotalBytes = uint64_t{2} << 30;
constexpr int kRuns = 2;

struct TMeasure {
  double Seconds = 0;
  double CPUSeconds = 0;
};

double CPUSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Eight large files, a hundred middle-sized ones and many small ones, 2 GiB in all.
std::vector<std::string> MakeFileSet(const fs::path& folder) {
  std::vector<uint64_t> sizes(8, 224u << 20);
  for (int i = 0; i < 100; ++i) sizes.push_back((1u << 20) + 4096u * i + 17);
  uint64_t total = 0;
  for (uint64_t size : sizes) total += size;
  for (int i = 0; total < kTotalBytes; ++i) {
    const uint64_t size = std::min<uint64_t>(kTotalBytes - total, 3000u + 977u * (i % 50));
    sizes.push_back(size);
    total += size;
  }
  std::vector<std::string> paths;
  std::vector<char> chunk(8 << 20);
  std::mt19937_64 random(42);
  for (char& c : chunk) c = static_cast<char>(random());
  for (size_t i = 0; i < sizes.size(); ++i) {
    const fs::path path = folder / ("file" + std::to_string(i) + ".bin");
    paths.push_back(path.string());
    if (fs::exists(path) && fs::file_size(path) == sizes[i]) continue;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const size_t half = chunk.size() / 2;
    for (uint64_t left = sizes[i]; left > 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, half));
      out.write(chunk.data() + (i * 4096) % half, static_cast<std::streamsize>(n));
      left -= n;
    }
  }
  return paths;
}

TMeasure TimeCat(const fs::path& folder) {
  const std::string command = "cd '" + folder.string() + "' && cat file*.bin > /dev/null";
  const double cpu = CPUSeconds(RUSAGE_CHILDREN);
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cat failed\n");
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {elapsed.count(), CPUSeconds(RUSAGE_CHILDREN) - cpu};
}

// The same files read by one thread in 63,488-byte reads, data thrown away: what the
// cache's reads alone would reach.
TMeasure TimePlainReads(const std::vector<std::string>& paths) {
  std::vector<char> buffer(63488);
  const double cpu = CPUSeconds(RUSAGE_SELF);
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& path : paths) {
    const int fd = open(path.c_str(), O_RDONLY);
    while (fd >= 0 && read(fd, buffer.data(), buffer.size()) > 0) {
    }
    if (fd >= 0) close(fd);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {elapsed.count(), CPUSeconds(RUSAGE_SELF) - cpu};
}

// A formatted DVD+RW that takes data at once and keeps none of it.
class TRecorder {
 public:
  explicit TRecorder(const fs::path& folder) {
    const fs::path config = folder / "kvxaspi.ini";
    std::ofstream(config) << "[Unit0]\nMedia=DVD+RW\nState=appendable\nUsedBlocks=0\nFast=1\n";
    std::string error;
    manager_ = aspi::LoadASPIManager(config.string(), aspi::SystemClock(), error);
    if (!manager_) std::fprintf(stderr, "recorder: %s\n", error.c_str());
    platform_ = std::make_unique<aspi::InProcessPlatform>(*manager_);
    transport_ = std::make_unique<scsi::SCSITransportHub>(*platform_);
    engine_ = std::make_unique<BurnEngine>(*transport_);
  }
  BurnEngine& Engine() { return *engine_; }

 private:
  std::unique_ptr<aspi::ASPIManager> manager_;
  std::unique_ptr<aspi::InProcessPlatform> platform_;
  std::unique_ptr<scsi::SCSITransportHub> transport_;
  std::unique_ptr<BurnEngine> engine_;
};

bool TimeBurn(BurnEngine& engine, const std::vector<std::string>& paths, TMeasure& measure, int64_t& bytes) {
  TVortalBurner burner(engine);
  burner.SetSleepFunction([](uint32_t) {});  // the unit is never busy
  if (!burner.InitializeASPI(false) || burner.Devices().empty()) return false;
  burner.SetDevice(burner.Devices()[0]);
  burner.ResetImage(kDefaultMaxFiles, kDefaultMaxDirectories);
  for (const std::string& path : paths)
    if (burner.AddFile("\\", path, false) != AddFileResult::Found) return false;
  burner.BuildImage(false);
  Event done(true);
  std::string error;
  burner.SetOnWriteDone([&](TVortalBurner*, const std::string& Error) {
    error = Error;
    done.Set();
  });
  const double cpu = CPUSeconds(RUSAGE_SELF);
  const auto start = std::chrono::steady_clock::now();
  if (!burner.StartBurn()) return false;
  done.Wait();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  measure = {elapsed.count(), CPUSeconds(RUSAGE_SELF) - cpu};
  burner.WaitForWriter();
  bytes = burner.BytesWritten();
  if (!error.empty()) std::fprintf(stderr, "burn: %s\n", error.c_str());
  return error.empty();
}

double MegabytesPerSecond(double bytes, double seconds) { return bytes / seconds / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  const bool ownFolder = argc < 2;
  const fs::path folder = ownFolder ? fs::temp_directory_path() / "kvx_burn_pipeline_bench" : fs::path(argv[1]);
  fs::create_directories(folder);
  const std::vector<std::string> paths = MakeFileSet(folder);
  uint64_t total = 0;
  for (const std::string& path : paths) total += fs::file_size(path);
  std::printf("file set: %zu files, %.2f GiB in %s\n", paths.size(), static_cast<double>(total) / (1 << 30),
              folder.string().c_str());
  TRecorder recorder(folder);
  TimeCat(folder);  // the files come from the page cache in every timed run

  TMeasure bestCat{1e9, 0}, bestReads{1e9, 0}, bestBurn{1e9, 0};
  int64_t track_bytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    const TMeasure cat = TimeCat(folder);
    if (cat.Seconds < bestCat.Seconds) bestCat = cat;
    const TMeasure reads = TimePlainReads(paths);
    if (reads.Seconds < bestReads.Seconds) bestReads = reads;
    TMeasure burn;
    if (!TimeBurn(recorder.Engine(), paths, burn, track_bytes)) return 1;
    if (burn.Seconds < bestBurn.Seconds) bestBurn = burn;
  }
  const double catRate = MegabytesPerSecond(static_cast<double>(total), bestCat.Seconds);
  const double readRate = MegabytesPerSecond(static_cast<double>(total), bestReads.Seconds);
  const double burnRate = MegabytesPerSecond(static_cast<double>(track_bytes), bestBurn.Seconds);
  std::printf("cat FILES > /dev/null: %8.1f MB/s  %.2f s, %.2f CPU s\n", catRate, bestCat.Seconds, bestCat.CPUSeconds);
  std::printf("plain 62 KiB reads:    %8.1f MB/s  %.2f s, %.2f CPU s\n", readRate, bestReads.Seconds,
              bestReads.CPUSeconds);
  std::printf("cache + writer burn:   %8.1f MB/s  %.2f s, %.2f CPU s (%.2f GB of track, 4 MiB cache)\n", burnRate,
              bestBurn.Seconds, bestBurn.CPUSeconds, static_cast<double>(track_bytes) / 1e9);
  std::printf("burn / cat: %.2f (goal 0.50); burn / plain reads: %.2f; burn: %.2f GB/s (goal 1.00)\n",
              burnRate / catRate, burnRate / readRate, burnRate / 1000);
  if (ownFolder) fs::remove_all(folder);
  return 0;
}
