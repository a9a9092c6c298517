// Fuzz target of the ISO 9660 + Joliet layout's name mapping and tree: the input is a
// list of lines, each adding to the tree ("D\PATH" folders by path, "Cn NAME" a folder
// under folder n, "Fn NAME|SHORT|SIZE" a file found on disk), switching an option ("R"
// replacement, "J" Joliet, "S" case-sensitive names), laying out what is there so far
// ("B", three times at most) or starting again with room for n entries and m folders
// ("Ln m"). The layout is then computed and rendered, and every folder's records are
// walked: each lies inside the header, inside one sector, its identifier inside the
// record, and no two are found under one name.
#include <cstdint>
#include <string>
#include <string_view>

#include "burner/image_layout.h"
#include "tests/fuzz/iso_checks.h"

namespace {

class QuietDisc : public kvx::LayoutDevice {
 public:
  kvx::scsi::DiscKind GetDiscType() override { return kvx::scsi::DiscKind::CDR; }
  bool ReadNextWritableAddress(uint32_t& StartSector) override {
    StartSector = 0;
    return true;
  }
  void SetDoDebug(bool) override {}
  void DebugMessage(const std::string&, uint8_t) override {}
};

// The decimal number the line starts with, below 1000, and the blank after it.
size_t NumberAt(std::string_view& line) {
  size_t number = 0;
  while (!line.empty() && line.front() >= '0' && line.front() <= '9') {
    number = (number * 10 + static_cast<size_t>(line.front() - '0')) % 1000;
    line.remove_prefix(1);
  }
  if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  return number;
}

kvx::TISODirectory* FolderAt(kvx::ImageLayout& layout, std::string_view& line) {
  const size_t index = NumberAt(line);
  return layout.Directories.empty() ? nullptr : layout.Directories[index % layout.Directories.size()].get();
}

// A layout may be built more than once, and reset for the next disc after it was built.
void Build(kvx::ImageLayout& layout) {
  layout.BuildImage(true);
  kvx::fuzz::CheckImageHeader(layout);
}

void Reset(kvx::ImageLayout& layout, std::string_view line) {
  const int entries = static_cast<int>(NumberAt(line) % 256);
  const int folders = static_cast<int>(NumberAt(line) % 64);
  layout.ResetImage(entries, folders);
}

std::string_view NextPart(std::string_view& text) {
  const size_t bar = text.find('|');
  const std::string_view part = text.substr(0, bar);
  text = bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);
  return part;
}

void AddFile(kvx::ImageLayout& layout, std::string_view line) {
  kvx::TISODirectory* folder = FolderAt(layout, line);
  kvx::FileSearchRecord record;
  record.Name = NextPart(line);
  record.AlternateName = NextPart(line);
  for (const char c : NextPart(line))
    if (c >= '0' && c <= '9' && record.Size < (uint64_t{1} << 40)) record.Size = record.Size * 10 + uint64_t(c - '0');
  record.Attributes = kvx::kAttrArchive;
  record.LastWrite = 132000000000000000ull;
  layout.AddSearchEntry(folder, record, "/src/" + record.Name);
}

// Every build renders a header of at least 150 sectors: a few in one input are enough to
// lay out a tree that was laid out before, and more would only slow the run down.
constexpr int kMostBuildsBetween = 3;

void Apply(kvx::ImageLayout& layout, std::string_view line, int& buildsLeft) {
  if (line.empty()) return;
  const char command = line.front();
  line.remove_prefix(1);
  switch (command) {
    case 'D': layout.ForceDirectories(line); break;
    case 'C': {
      kvx::TISODirectory* parent = FolderAt(layout, line);
      layout.CreateDirectory(parent, line, kvx::kAttrDirectory);
      break;
    }
    case 'F': AddFile(layout, line); break;
    case 'R': layout.ReplaceFile = !layout.ReplaceFile; break;
    case 'J': layout.JolietFileSystem = !layout.JolietFileSystem; break;
    case 'S': layout.CaseSensitiveNames = !layout.CaseSensitiveNames; break;
    case 'B':
      if (buildsLeft > 0) {
        --buildsLeft;
        Build(layout);
      }
      break;
    case 'L': Reset(layout, line); break;
    default: break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  QuietDisc disc;
  kvx::ImageLayout layout(disc);
  layout.ResetImage(200, 60);
  int buildsLeft = kMostBuildsBetween;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    Apply(layout, text.substr(0, end), buildsLeft);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  Build(layout);
  return 0;
}
