// SearchBackups over a generated tree of 100,000 files, against `find DIR -name NAME`
// on the same tree in the same run. Goal: at most 1.5 times find's time.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "wizard/backup_search.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kTopFolders = 10;
constexpr int kMiddleFolders = 10;
constexpr int kLeafFolders = 10;
constexpr int kFilesPerLeaf = 100;  // 10 x 10 x 10 x 100 = 100,000 files
constexpr char kBackupName[] = "SauveKVX.zip";

// The tree: leaf folders of 100 files each, a backup in every 97th leaf, and a
// RECYCLED folder holding one more backup that the search must skip.
struct Tree {
  fs::path root;
  int backups = 0;

  Tree() {
    root = fs::temp_directory_path() / "kvx-bench-search";
    fs::remove_all(root);
    int leaf = 0;
    for (int a = 0; a < kTopFolders; ++a)
      for (int b = 0; b < kMiddleFolders; ++b)
        for (int c = 0; c < kLeafFolders; ++c, ++leaf) {
          const fs::path folder = root / ("D" + std::to_string(a)) / ("E" + std::to_string(b)) / ("F" + std::to_string(c));
          fs::create_directories(folder);
          for (int f = 0; f < kFilesPerLeaf; ++f) std::ofstream(folder / ("DATA" + std::to_string(f) + ".FIC"));
          if (leaf % 97 == 0) {
            std::ofstream(folder / kBackupName);
            ++backups;
          }
        }
    fs::create_directories(root / "RECYCLED");
    std::ofstream(root / "RECYCLED" / kBackupName);
  }
  ~Tree() { fs::remove_all(root); }
};

Tree& TheTree() {
  static Tree tree;
  return tree;
}

void BM_SearchBackups(benchmark::State& state) {
  Tree& tree = TheTree();
  int found = 0;
  kvx::SearchReport report;
  report.found = [&](const std::string&) { ++found; };
  report.enteringFolder = [](const std::string& folder) { benchmark::DoNotOptimize(folder.data()); };
  for (auto _ : state) {
    found = 0;
    kvx::SearchBackups(tree.root.string(), kBackupName, report, [] { return false; });
  }
  if (found != tree.backups) state.SkipWithError("wrong number of backups found");
}

void BM_FindName(benchmark::State& state) {
  Tree& tree = TheTree();
  const std::string root = tree.root.string();
  const char* argv[] = {"find", root.c_str(), "-name", kBackupName, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, "find", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("find could not be started");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

BENCHMARK(BM_SearchBackups)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FindName)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's time per iteration so that the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheTree();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double search = reporter.times["BM_SearchBackups/min_time:2.000"];
  const double find = reporter.times["BM_FindName/min_time:2.000"];
  if (search > 0 && find > 0)
    std::printf("SearchBackups / find -name = %.2f (goal: at most 1.50)\n", search / find);
  benchmark::Shutdown();
  return 0;
}
