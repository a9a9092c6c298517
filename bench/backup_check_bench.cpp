// The cost of checking a backup before it counts as written: the zip stand-in writes a
// data folder of 500 MB in 2,000 files (business records) into an archive on the local
// disk, with and without reading every member back (size and CRC-32), rounds alternating;
// and, after each backup without it, the toolbox's own check of the archive, read from the
// disk rather than from the system's cache.
//   backup_check_bench [FOLDER] [ROUNDS]   (default build/backup-check-bench, 3)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_check.h"
#include "bench/bench_data.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Timing {
  double seconds = 0;     // from the first read to the archive in place
  double cpuSeconds = 0;  // of every thread: what the check costs where the processors are shared
};

Timing Backup(const std::vector<kvxzip::SourceEntry>& entries, const std::string& archive, bool check) {
  kvxzip::WriteOptions options;
  options.check = check;
  kvxbench::Quiet quiet;
  sync();  // nothing left to write back from the round before
  const auto start = Clock::now();
  const std::clock_t cpuStart = std::clock();
  if (kvxzip::WriteArchive(archive, entries, options, quiet) != kvxzip::ZipResult::Ok) std::exit(1);
  return {std::chrono::duration<double>(Clock::now() - start).count(),
          static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC};
}

// The toolbox's check of the archive just written: its data goes to the disk first, then
// every member is read back from there.
double ToolboxCheck(const std::string& archive) {
  std::vector<std::string> problems;
  const auto start = Clock::now();
  if (!kvx::CheckArchive(archive, "SAUVE.ZIP", {}, problems)) {
    for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
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
  kvxbench::MakeDataFolder(source);
  const auto entries = kvxbench::CollectDataFolder(source);

  const std::string archive = (root / "SAUVE.ZIP").string();
  std::vector<double> plain, checked, plainCPU, checkedCPU, toolbox;
  for (int round = 0; round < rounds; ++round) {
    const Timing without = Backup(entries, archive, false);
    toolbox.push_back(ToolboxCheck(archive));
    const Timing with = Backup(entries, archive, true);
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
  std::printf("toolbox's check from the disk: %.2f s, %.1f %% of the backup without the check\n", Median(toolbox),
              Median(toolbox) / without * 100);
  return 0;
}
