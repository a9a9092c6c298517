// Fuzz target of the backup's item list: the input is a list file ("@" + its path), read
// from a current folder whose path is long, so that relative entries grow and the list can
// pass the buffer's capacity. Whatever the file holds, the expansion either gives a list
// that fits the buffer and holds no NUL (the library reads it as a C string), each entry
// in double quotes, or refuses it saying why; a list file that cannot be read is refused.
// The buffer here is 2 KiB rather than the library's 640,000 characters: the same limit
// is then reached by inputs of a few lines, and each run stays short.
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/item_list_expansion.h"
#include "base/folders.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using kvx::fuzz::Expect;

constexpr size_t kCapacity = 2049;

struct Scratch {
  std::string list;     // the list file
  std::string missing;  // a list file that does not exist
};

const Scratch& Files() {
  static const Scratch scratch = [] {
    const fs::path deep = kvx::fuzz::ScratchFolder() / std::string(200, 'D');
    fs::create_directories(deep);
    Expect(kvx::SetCurrentFolder(deep.string()), "the current folder can be set");
    return Scratch{(kvx::fuzz::ScratchFolder() / "PATSAUVE.DTA").string(),
                   (kvx::fuzz::ScratchFolder() / "NONE.DTA").string()};
  }();
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Scratch& files = Files();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kvx::fuzz::WriteWholeFile(files.list, text);

  std::string list, error;
  if (kvx::ExpandItems("@" + files.list, list, error, kCapacity)) {
    Expect(list.size() < kCapacity, "the item list fits the buffer");
    Expect(list.find('\0') == std::string::npos, "the item list holds no NUL");
    Expect(list.empty() || (list.front() == '"' && list.back() == '"'), "each entry is quoted");
  } else {
    Expect(!error.empty(), "a refused list says why");
  }
  error.clear();
  Expect(!kvx::ExpandItems("@" + files.missing, list, error, kCapacity) && !error.empty(),
         "a list file that cannot be read is refused");
  return 0;
}
