// The cost of the toolbox's check of a backup against the backup itself: the zip
// stand-in (the library) writes a data folder of 500 MB in 2,000 files (business records)
// into an archive on the local disk and flushes it; then the toolbox's own reader reads
// that archive back (every member inflated, its size and CRC-32 compared, the files of the
// backup found among the members) before it would count as written.
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
  double seconds = 0;
  double cpuSeconds = 0;  // of every thread: what it costs where the processors are shared
};

template <typename Step>
Timing Time(Step step) {
  const auto start = Clock::now();
  const std::clock_t cpuStart = std::clock();
  if (!step()) std::exit(1);
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
  kvxbench::MakeDataFolder(source);
  const auto entries = kvxbench::CollectDataFolder(source);
  std::vector<kvx::ExpectedMember> expected;
  for (const kvxzip::SourceEntry& entry : entries)
    if (!entry.isFolder) expected.push_back({entry.name, entry.size});

  const std::string archive = (root / "SAUVE.ZIP").string();
  std::vector<double> backup, check, backupCPU, checkCPU;
  for (int round = 0; round < rounds; ++round) {
    sync();  // nothing left to write back from the round before
    const Timing written = Time([&] {
      kvxbench::Quiet quiet;
      return kvxzip::WriteArchive(archive, entries, kvxzip::WriteOptions{}, quiet) == kvxzip::ZipResult::Ok;
    });
    const Timing checked = Time([&] {
      std::vector<std::string> problems;
      const bool whole = kvx::CheckArchive(archive, archive, expected, problems);
      for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
      return whole;
    });
    backup.push_back(written.seconds);
    backupCPU.push_back(written.cpuSeconds);
    check.push_back(checked.seconds);
    checkCPU.push_back(checked.cpuSeconds);
  }
  const double written = Median(backup), checked = Median(check);
  const double writtenCPU = Median(backupCPU), checkedCPU = Median(checkCPU);
  std::printf("archive %s: %.0f MB from %zu sources, median of %d rounds\n", archive.c_str(),
              fs::file_size(archive) / 1e6, entries.size(), rounds);
  std::printf("backup by the library:  %.2f s (CPU %.2f s)\n", written, writtenCPU);
  std::printf("check by the toolbox:   %.2f s (CPU %.2f s)\n", checked, checkedCPU);
  std::printf("check against backup:   %.1f %% (CPU %.1f %%)\n", checked / written * 100,
              checkedCPU / writtenCPU * 100);
  return 0;
}
