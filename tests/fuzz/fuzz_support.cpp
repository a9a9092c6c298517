#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace kvx::fuzz {

void Expect(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz expectation failed: %s\n", what);
  std::abort();
}

namespace {

std::filesystem::path MakeScratch() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvx-fuzz-XXXXXX";
  Expect(mkdtemp(pattern.data()) != nullptr, "a scratch folder can be created");
  return pattern;
}

struct Scratch {
  std::filesystem::path path = MakeScratch();
  ~Scratch() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
};

}  // namespace

const std::filesystem::path& ScratchFolder() {
  static const Scratch scratch;
  return scratch.path;
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Expect(static_cast<bool>(out), "the scratch file can be written");
}

}  // namespace kvx::fuzz
