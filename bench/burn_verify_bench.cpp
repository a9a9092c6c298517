// A backup burned as the burn wizard burns it, read back included: one 650 MB archive
// laid out as one track on a blank CD-R of an unthrottled virtual recorder reached
// in-process, which keeps the sectors in its image file. Prints the time of the burn
// (StartBurn to the read-back's start) beside that of the verification (the read-back
// to OnWriteDone), and their ratio, best of two runs.
//
// burn_verify_bench [FOLDER]   (the archive and the disc image are made there, or in a
//                               temporary folder)
#include <chrono>
#include <cstdio>
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
using Clock = std::chrono::steady_clock;

constexpr uint64_t kArchiveBytes = 650'000'000;
constexpr int kRuns = 2;

// Bytes that do not repeat within a sector, so that a read-back is not helped by them.
std::string MakeArchive(const fs::path& folder) {
  const fs::path path = folder / "SauveKVX.zip";
  if (fs::exists(path) && fs::file_size(path) == kArchiveBytes) return path.string();
  std::vector<char> chunk(8 << 20);
  std::mt19937_64 random(7);
  for (char& c : chunk) c = static_cast<char>(random());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (uint64_t left = kArchiveBytes; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    left -= n;
    chunk[left % chunk.size()] ^= 0x5A;
  }
  return path.string();
}

struct TTimes {
  double Burn = 0;
  double Verify = 0;
  int64_t Bytes = 0;
};

// One burn on a fresh blank disc, with the wizard's settings and its verification.
bool TimeBurnAndVerify(const fs::path& folder, const std::string& archive, TTimes& times) {
  const fs::path image = folder / "disc.img";
  fs::remove(image);
  fs::remove(image.string() + ".state");
  const fs::path config = folder / "kvxaspi.ini";
  std::ofstream(config) << "[Unit0]\nMedia=CD-R\nFast=1\nImage=" << image.string() << "\n";
  std::string error;
  auto manager = aspi::LoadASPIManager(config.string(), aspi::SystemClock(), error);
  if (!manager) {
    std::fprintf(stderr, "recorder: %s\n", error.c_str());
    return false;
  }
  aspi::InProcessPlatform platform(*manager);
  scsi::SCSITransportHub transport(platform);
  BurnEngine engine(transport);
  TVortalBurner burner(engine);
  ApplyStoredFormSettings(burner);
  burner.SetVerifyWrite(true);
  burner.SetSleepFunction([](uint32_t) {});  // the unit is never busy
  if (!burner.InitializeASPI(false) || burner.Devices().empty()) return false;
  burner.SetDevice(burner.Devices()[0]);
  burner.ResetImage(kDefaultMaxFiles, kDefaultMaxDirectories);
  if (burner.AddFile("\\", archive, false) != AddFileResult::Found) return false;
  burner.BuildImage(false);
  Event done(true);
  Clock::time_point verifying;
  burner.SetOnVerifying([&](TVortalBurner*) { verifying = Clock::now(); });
  burner.SetOnWriteDone([&](TVortalBurner*, const std::string& Error) {
    error = Error;
    done.Set();
  });
  const Clock::time_point start = Clock::now();
  if (!burner.StartBurn()) return false;
  done.Wait();
  const Clock::time_point end = Clock::now();
  burner.WaitForWriter();
  if (!error.empty()) {
    std::fprintf(stderr, "burn: %s\n", error.c_str());
    return false;
  }
  times.Burn = std::chrono::duration<double>(verifying - start).count();
  times.Verify = std::chrono::duration<double>(end - verifying).count();
  times.Bytes = burner.BytesVerified();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool ownFolder = argc < 2;
  const fs::path folder = ownFolder ? fs::temp_directory_path() / "kvx_burn_verify_bench" : fs::path(argv[1]);
  fs::create_directories(folder);
  const std::string archive = MakeArchive(folder);
  TTimes best{1e9, 1e9, 0};
  for (int run = 0; run < kRuns; ++run) {
    TTimes times;
    if (!TimeBurnAndVerify(folder, archive, times)) return 1;
    std::printf("run %d: burn %.2f s, verification %.2f s\n", run + 1, times.Burn, times.Verify);
    if (times.Burn + times.Verify < best.Burn + best.Verify) best = times;
  }
  const double megabytes = static_cast<double>(best.Bytes) / 1e6;
  std::printf("track: %.1f MB on a CD-R (Fast=1, image kept in %s)\n", megabytes, folder.string().c_str());
  std::printf("burn:         %6.2f s  %8.1f MB/s\n", best.Burn, megabytes / best.Burn);
  std::printf("verification: %6.2f s  %8.1f MB/s\n", best.Verify, megabytes / best.Verify);
  std::printf("verification / burn: %.2f\n", best.Verify / best.Burn);
  if (ownFolder) fs::remove_all(folder);
  return 0;
}
