#include "bench/bench_data.h"

#include <cstdio>
#include <fstream>
#include <random>

namespace kvxbench {

namespace fs = std::filesystem;

constexpr int kFiles = 2000;
constexpr size_t kFileSize = 250 * 1000;  // 2,000 × 250 kB = 500 MB

// Data files as a business application keeps them: text records, with some noise.
void MakeDataFolder(const fs::path& source) {
  if (fs::exists(source / "D19")) return;
  fs::remove_all(source);
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

std::vector<kvxzip::SourceEntry> CollectDataFolder(const fs::path& source) {
  const fs::path saved = fs::current_path();
  fs::current_path(source);
  kvxzip::CollectOptions collect;
  collect.recurse = true;
  collect.relativeToCurrent = true;
  auto entries = kvxzip::CollectSources({"*.*"}, collect);
  fs::current_path(saved);
  return entries;
}

void Quiet::SourceFailed(const std::string& path, kvxzip::SourceFailure, const std::string& reason) {
  std::fprintf(stderr, "unreadable: %s: %s\n", path.c_str(), reason.c_str());
}

void Quiet::Problem(int32_t id, const std::string& item) { std::fprintf(stderr, "problem %d: %s\n", id, item.c_str()); }

}  // namespace kvxbench
