// iso_layout_bench [TREE]: lays out a tree of 65,535 files in 8,191 folders (made in
// TREE, by default ./bench-tree, when missing) as kvxburn does, and times the same
// layout by "genisoimage -print-size" and "xorriso -as mkisofs -print-size"; then lays
// out 65,535 files in one folder. The names of both trees meet on the disc ("fichier 12.dat"
// and "fichier 13.dat" are both FICHIER_.DAT): the layout numbers them apart as it always does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "burner/image_layout.h"
#include "kvxburn/tree_adder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 8191;  // the top folder, 90 below it, 90 below each of those
constexpr int kFiles = 65535;
constexpr int kWide = 90;

class NoDisc : public kvx::LayoutDevice {
 public:
  kvx::scsi::DiscKind GetDiscType() override { return kvx::scsi::DiscKind::Unknown; }
  bool ReadNextWritableAddress(uint32_t&) override { return false; }
  void SetDoDebug(bool) override {}
  void DebugMessage(const std::string& Message, uint8_t) override { std::fprintf(stderr, "%s\n", Message.c_str()); }
};

void MakeTree(const fs::path& top) {
  std::vector<fs::path> folders{top};
  for (int i = 0; i < kWide; ++i) {
    const fs::path middle = top / ("Dossier " + std::to_string(i));
    folders.push_back(middle);
    for (int j = 0; j < kWide; ++j) folders.push_back(middle / ("sous_dossier_" + std::to_string(j)));
  }
  for (const fs::path& folder : folders) fs::create_directories(folder);
  for (int f = 0; f < kFiles; ++f) {
    const fs::path& folder = folders[static_cast<size_t>(f) % folders.size()];
    std::ofstream(folder / ("fichier " + std::to_string(f) + ".dat"), std::ios::binary)
        << std::string(static_cast<size_t>(f % 3000), 'k');
  }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Best of several runs of our layout; the sector count of the last one.
double TimeLayout(const std::string& top, int runs, int64_t& sectors) {
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    NoDisc disc;
    const auto start = Clock::now();
    kvx::ImageLayout layout(disc);
    layout.ResetImage(kFiles + kFolders, kFolders + 1);
    kvx::TreeAdder adder(layout, [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    adder.AddPath(top);
    layout.BuildImage(true);
    best = std::min(best, Seconds(Clock::now() - start));
    sectors = layout.TrackSectors;
    if (layout.Entries.size() != static_cast<size_t>(kFiles + kFolders)) std::fprintf(stderr, "tree incomplete\n");
  }
  return best;
}

// 65,535 files in the root, from search records made in memory: lookups by name must
// not grow with the folder.
double TimeOneFolder() {
  NoDisc disc;
  const auto start = Clock::now();
  kvx::ImageLayout layout(disc);
  layout.ResetImage(kFiles, kFolders);
  kvx::FileSearchRecord record;
  record.Attributes = kvx::kAttrArchive;
  for (int f = 0; f < kFiles; ++f) {
    record.Name = "Fichier " + std::to_string(f) + ".dat";
    record.Size = static_cast<uint64_t>(f);
    layout.AddSearchEntry(layout.Directories[0].get(), record, record.Name);
  }
  layout.BuildImage(true);
  return Seconds(Clock::now() - start);
}

double TimeTool(const std::string& command, int runs, std::string& answer) {
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    const auto start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char line[256] = "";
    answer.clear();
    while (fgets(line, sizeof line, pipe)) answer += line;
    if (pclose(pipe) != 0) return -1;
    best = std::min(best, Seconds(Clock::now() - start));
  }
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = fs::absolute(argc > 1 ? argv[1] : "bench-tree");
  const fs::path top = root / "Sauvegarde";
  const fs::path done = root / "complete";
  if (!fs::exists(done)) {
    std::printf("making %d files in %d folders under %s\n", kFiles, kFolders, top.c_str());
    fs::remove_all(root);
    MakeTree(top);
    std::ofstream(done) << "ok";
  }
  int64_t sectors = 0;
  const double ours = TimeLayout(top.string(), 5, sectors);
  std::string genisoimageSize, xorrisoSize;
  const double genisoimage =
      TimeTool("genisoimage -quiet -J -print-size '" + top.string() + "' 2>/dev/null", 3, genisoimageSize);
  const double xorriso = TimeTool("xorriso -as mkisofs -quiet -J -print-size '" + top.string() + "' 2>/dev/null", 3,
                                  xorrisoSize);
  const double faster = std::min(genisoimage < 0 ? 1e9 : genisoimage, xorriso < 0 ? 1e9 : xorriso);
  std::printf("tree: %d files in %d folders\n", kFiles, kFolders);
  std::printf("%-28s %8.3f s  %lld sectors\n", "kvx layout (best of 5)", ours, static_cast<long long>(sectors));
  std::printf("%-28s %8.3f s  %s sectors\n", "genisoimage -print-size", genisoimage, genisoimageSize.c_str());
  std::printf("%-28s %8.3f s  %s sectors\n", "xorriso -print-size", xorriso, xorrisoSize.c_str());
  std::printf("%-28s %8.3f s\n", "kvx layout, one folder", TimeOneFolder());
  std::printf("speed-up over the faster tool: %.1fx (target 3x): %s\n", faster / ours, faster / ours >= 3 ? "met" : "NOT met");
  return 0;
}
