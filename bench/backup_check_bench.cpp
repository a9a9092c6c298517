// The cost of checking a backup before it counts as written: the zip stand-in writes a
// data folder of 500 MB in 2,000 files (business records) into an archive on the local
// disk, with and without reading every member back (size and CRC-32), rounds alternating.
//   backup_check_bench [FOLDER] [ROUNDS]   (default build/backup-check-bench, 3)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "standins/zip/item_list.h"
#include "standins/zip/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 2000;
constexpr size_t kFileSize = 250 * 1000;  // 2,000 × 250 kB = 500 MB

class Quiet final : public kvxzip::WriteObserver {
 public:
  bool Progress(const std::string&, int) override { return true; }
  void SourceFailed(const std::string& path, kvxzip::SourceFailure, const std::string& reason) override {
    std::fprintf(stderr, "unreadable: %s: %s\n", path.c_str(), reason.c_str());
  }
  void CheckFailed(const std::string& path, const std::string& reason) override {
    std::fprintf(stderr, "check: %s: %s\n", path.c_str(), reason.c_str());
  }
};

// Data files as a business application keeps them: text records, with some noise.
void MakeSource(const fs::path& source) {
  std::mt19937 random(11);
  for (int i = 0; i < kFiles; ++i) {
    const fs::path folder = source / ("D" + std::to_string(i % 20));
    fs::create_directories(folder);
    std::string data;
    data.reserve(kFileSize);
    while (data.size() < kFileSize) {
      data += "CLIENT" + std::to_string(random() % 100000) + ";Soci\xE9t\xE9 " + std::to_string(random()) + ";";
      for (int n = 0; n < 8; ++n) data += static_cast<char>('A' + random() % 26);
      data += "\r\n";
    }
    data.resize(kFileSize);
    std::ofstream(folder / ("F" + std::to_string(i) + ".FIC"), std::ios::binary) << data;
  }
}

struct Timing {
  double seconds = 0;     // from the first read to the archive in place
  double cpuSeconds = 0;  // of every thread: what the check costs where the processors are shared
};

Timing Backup(const std::vector<kvxzip::SourceEntry>& entries, const std::string& archive, bool check) {
  kvxzip::WriteOptions options;
  options.check = check;
  Quiet quiet;
  sync();  // nothing left to write back from the round before
  const auto start = Clock::now();
  const std::clock_t cpuStart = std::clock();
  if (kvxzip::WriteArchive(archive, entries, options, quiet) != kvxzip::ZipResult::Ok) std::exit(1);
  return {std::chrono::duration<double>(Clock::now() - start).count(),
          static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = fs::absolute(argc > 1 ? argv[1] : "build/backup-check-bench");
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const fs::path source = root / "SOURCE";
  if (!fs::exists(source / "D19")) {
    fs::remove_all(root);
    MakeSource(source);
  }
  const fs::path saved = fs::current_path();
  fs::current_path(source);
  kvxzip::CollectOptions collect;
  collect.recurse = true;
  collect.relativeToCurrent = true;
  const auto entries = kvxzip::CollectSources({"*.*"}, collect);
  fs::current_path(saved);

  const std::string archive = (root / "SAUVE.ZIP").string();
  std::vector<double> plain, checked, plainCPU, checkedCPU;
  for (int round = 0; round < rounds; ++round) {
    const Timing without = Backup(entries, archive, false), with = Backup(entries, archive, true);
    plain.push_back(without.seconds);
    plainCPU.push_back(without.cpuSeconds);
    checked.push_back(with.seconds);
    checkedCPU.push_back(with.cpuSeconds);
  }
  const double without = Median(plain), with = Median(checked);
  const double withoutCPU = Median(plainCPU), withCPU = Median(checkedCPU);
  std::printf("archive %s: %.0f MB from %zu sources, median of %d rounds\n", archive.c_str(),
              fs::file_size(archive) / 1e6, entries.size(), rounds);
  std::printf("backup without the check: %.2f s (CPU %.2f s)\n", without, withoutCPU);
  std::printf("backup with the check:    %.2f s (CPU %.2f s)\n", with, withCPU);
  std::printf("cost of the check:        %.1f %% (CPU %.1f %%)\n", (with - without) / without * 100,
              (withCPU - withoutCPU) / withoutCPU * 100);
  return 0;
}
