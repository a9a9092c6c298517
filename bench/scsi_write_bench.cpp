// The command layer against the virtual recorder in-process: cost of one command, and
// the rate at which 31-sector WRITE (10) blocks reach a fast unit, with and without its
// image file. Tells whether the model can feed the writer faster than a real recorder
// (52X CD = 9.0 MB/s, 16X DVD = 22 MB/s) takes data.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "scsi/scsi_device.h"
#include "standins/aspi/inprocess_transport.h"

namespace {

using namespace kvx;

// A formatted DVD+RW unit (any address may be written), optionally with an image file.
class Bench {
 public:
  explicit Bench(bool withImage) {
    folder_ = std::filesystem::temp_directory_path() / "kvx_scsi_write_bench";
    std::filesystem::create_directories(folder_);
    const auto config = folder_ / "kvxaspi.ini";
    std::ofstream(config) << "[Unit0]\nMedia=DVD+RW\nState=appendable\nFast=1\n"
                          << (withImage ? "Image=" + (folder_ / "disc.img").string() + "\n" : "");
    std::filesystem::remove(folder_ / "disc.img.state");
    std::string error;
    manager_ = aspi::LoadASPIManager(config.string(), aspi::SystemClock(), error);
    platform_ = std::make_unique<aspi::InProcessPlatform>(*manager_);
    transport_ = std::make_unique<scsi::SCSITransportHub>(*platform_);
    device_ = std::make_unique<scsi::TSCSIDevice>(*transport_);
    device_->InitializeASPI(false);
    device_->SetDevice(device_->Devices().at(0));
  }
  ~Bench() {
    device_.reset();
    transport_.reset();
    manager_.reset();
    std::filesystem::remove_all(folder_);
  }
  scsi::TSCSIDevice& Device() { return *device_; }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<aspi::ASPIManager> manager_;
  std::unique_ptr<aspi::InProcessPlatform> platform_;
  std::unique_ptr<scsi::SCSITransportHub> transport_;
  std::unique_ptr<scsi::TSCSIDevice> device_;
};

void BM_TestUnitReady(benchmark::State& state) {
  Bench bench(false);
  for (auto _ : state) benchmark::DoNotOptimize(bench.Device().TestUnitReady(5000));
}
BENCHMARK(BM_TestUnitReady);

void WriteBlocks(benchmark::State& state, bool withImage) {
  Bench bench(withImage);
  std::vector<uint8_t> block(31 * 2048, 0x5A);
  // 1 GiB of disc is written over and over.
  const uint32_t wrap = (1u << 30) / 2048 / 31 * 31;
  uint32_t lba = 0;
  for (auto _ : state) {
    if (!bench.Device().Write10(lba, 31, 0x50, block)) state.SkipWithError("write failed");
    lba = (lba + 31) % wrap;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(block.size()));
}

void BM_Write10ToImageFile(benchmark::State& state) { WriteBlocks(state, true); }
void BM_Write10WithoutImage(benchmark::State& state) { WriteBlocks(state, false); }
BENCHMARK(BM_Write10ToImageFile)->MinTime(2.0);
BENCHMARK(BM_Write10WithoutImage);

}  // namespace

BENCHMARK_MAIN();
