// Fuzz target of the unzip library stand-in: the input is an archive; "dunzip" counts
// its members and extracts them as the DLL does (end records, zip64 locator and records,
// central directory, local headers, member names, stored and deflated data). The last
// byte of the input also picks the extraction options, a test of every member's data
// (which writes nothing) among them. The destination lies deep inside
// a scratch folder: after each run, nothing may exist
// in the scratch folder outside the destination but the archive and that chain of folders.
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "archive/zip_records.h"
#include "standins/zip/zip_entry_points.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using kvx::fuzz::Expect;

constexpr int kChainDepth = 4;  // folders between the scratch folder and the destination
constexpr rlim_t kLargestExtractedFile = 16 << 20;

struct Layout {
  fs::path archive, chain, destination;
};

const Layout& Folders() {
  static const Layout layout = [] {
    Layout made;
    made.archive = kvx::fuzz::ScratchFolder() / "in.zip";
    made.chain = kvx::fuzz::ScratchFolder();
    for (int i = 0; i < kChainDepth; ++i) made.chain /= "up";
    made.destination = made.chain / "dest";
    fs::create_directories(made.destination);
    // A member that inflates without end stops at this size (the write fails) instead of filling the disk.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLargestExtractedFile, kLargestExtractedFile};
    setrlimit(RLIMIT_FSIZE, &limit);
    return made;
  }();
  return layout;
}

// True when inner is outer or lies below it.
bool Within(const fs::path& inner, const fs::path& outer) {
  const std::string in = inner.string(), out = outer.string();
  return in.compare(0, out.size(), out) == 0 && (in.size() == out.size() || in[out.size()] == '/');
}

// True when path is the archive, the destination or inside it, or a folder of the chain.
bool Allowed(const fs::path& path, const Layout& layout) {
  return path == layout.archive || Within(path, layout.destination) ||
         (Within(layout.chain, path) && fs::is_directory(path));
}

void CheckNothingLeftTheDestination(const Layout& layout) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(kvx::fuzz::ScratchFolder(), error); it != fs::end(it);
       it.increment(error)) {
    if (it->path() == layout.destination) it.disable_recursion_pending();
    Expect(Allowed(it->path(), layout), "extraction stays inside its destination");
  }
  Expect(!error, "the scratch folder can be listed");
}

void EmptyDestination(const Layout& layout) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(layout.destination, error))
    fs::remove_all(entry.path(), error);
}

int32_t KeepGoing(const char*, int32_t, void*) { return 0; }

int32_t CountMessage(int32_t, int32_t, int32_t, int32_t, const char*, const char*, void* userData) {
  ++*static_cast<int*>(userData);
  return 0;
}

constexpr const char* kFileSpecs[] = {"*.*", "*", "*.TXT", "?*a*", "A.BIN", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Layout& layout = Folders();
  kvx::fuzz::WriteWholeFile(layout.archive, std::string_view(reinterpret_cast<const char*>(data), size));
  const uint8_t options = size ? data[size - 1] : 0;
  const std::string archive = layout.archive.string(), destination = layout.destination.string();

  int messages = 0;
  kvx::UnzipParams params{};
  params.recordSize = kvx::kUnzipRecordSize;
  params.function = kvx::kUnzipFunctionCount;
  params.zipFile = archive.c_str();
  params.majorStatus = KeepGoing;
  params.messageCallback = CountMessage;
  params.messageUserData = &messages;
  params.returnCount = -7;
  const int32_t counted = kvxzip::RunDunzip(&params);
  Expect(counted == 0 ? params.returnCount >= 0 : params.returnCount == -7, "a count is given only on success");
  Expect(counted == 0 || messages == 1, "a failed count reports one problem");

  params.function = kvx::kUnzipFunctionExtract;
  params.destination = destination.c_str();
  params.fileSpec = kFileSpecs[(options >> 4) % std::size(kFileSpecs)];
  params.overWrite = (options & 1) ? -1 : 0;
  params.recurse = (options & 2) ? -1 : 0;
  params.noDirectoryNames = (options & 4) ? -1 : 0;
  params.test = (options & 8) ? -1 : 0;
  const int32_t extracted = kvxzip::RunDunzip(&params);
  Expect(counted == 0 || extracted == counted, "an archive that cannot be counted cannot be extracted");
  Expect(!params.test || fs::is_empty(layout.destination), "a test writes nothing");

  CheckNothingLeftTheDestination(layout);
  EmptyDestination(layout);
  return 0;
}
