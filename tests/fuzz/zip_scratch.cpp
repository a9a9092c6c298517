#include "tests/fuzz/zip_scratch.h"

#include <sys/resource.h>

#include <csignal>
#include <iterator>
#include <string>
#include <system_error>

#include "tests/fuzz/fuzz_support.h"

namespace kvx::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr int kChainDepth = 4;  // folders between the scratch folder and the destination
constexpr rlim_t kLargestExtractedFile = 16 << 20;

// True when inner is outer or lies below it.
bool Within(const fs::path& inner, const fs::path& outer) {
  const std::string in = inner.string(), out = outer.string();
  return in.compare(0, out.size(), out) == 0 && (in.size() == out.size() || in[out.size()] == '/');
}

// True when path is the archive, the destination or inside it, or a folder of the chain.
bool Allowed(const fs::path& path, const ZipScratch& scratch) {
  return path == scratch.archive || Within(path, scratch.destination) ||
         (Within(scratch.chain, path) && fs::is_directory(path));
}

}  // namespace

const ZipScratch& ZipFolders() {
  static const ZipScratch scratch = [] {
    ZipScratch made;
    made.archive = ScratchFolder() / "in.zip";
    made.chain = ScratchFolder();
    for (int i = 0; i < kChainDepth; ++i) made.chain /= "up";
    made.destination = made.chain / "dest";
    fs::create_directories(made.destination);
    // A member that inflates without end stops at this size (the write fails) instead of filling the disk.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLargestExtractedFile, kLargestExtractedFile};
    setrlimit(RLIMIT_FSIZE, &limit);
    return made;
  }();
  return scratch;
}

const char* FileSpecOf(uint8_t options) {
  static constexpr const char* kFileSpecs[] = {"*.*", "*", "*.TXT", "?*a*", "A.BIN", ""};
  return kFileSpecs[(options >> 4) % std::size(kFileSpecs)];
}

void CheckExtractionStayedInside(const ZipScratch& scratch) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(ScratchFolder(), error); it != fs::end(it); it.increment(error)) {
    if (it->path() == scratch.destination) it.disable_recursion_pending();
    Expect(Allowed(it->path(), scratch), "extraction stays inside its destination");
  }
  Expect(!error, "the scratch folder can be listed");
  for (const fs::directory_entry& entry : fs::directory_iterator(scratch.destination, error))
    fs::remove_all(entry.path(), error);
}

}  // namespace kvx::fuzz
