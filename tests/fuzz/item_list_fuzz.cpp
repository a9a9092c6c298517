// Fuzz target of the backup's item list: the input is a list file ("@" + its path), read
// from a current folder whose path is long, so that relative entries grow and the list can
// pass the buffer's capacity. The list must be the entries of the file's lines in order,
// each in its long absolute form (a relative entry taken in the current folder) cut to the
// staging size and in double quotes (the library splits at unquoted blanks), joined by single blanks, or refused when
// it would not fit the buffer. It holds no NUL: the library reads it as a C string.
// The buffer here is 2 KiB rather than the library's 640,000 characters: the same limit
// is then reached by inputs of a few lines, and each run stays short.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/item_list_expansion.h"
#include "base/folders.h"
#include "base/file_search.h"
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

// One entry per line: a last line needs no line end, a line ends before its CR LF, and a
// line is read as a C string, up to a NUL it may hold. Stops once the list is too long.
std::string ReferenceList(std::string_view text) {
  std::string list;
  for (size_t start = 0; start < text.size() && list.size() < kCapacity;) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    line = line.substr(0, line.find('\0'));
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (start > 0) list += ' ';
    const bool absolute = line.starts_with('\\') || line.starts_with('/') || (line.size() > 1 && line[1] == ':');
    const std::string path = kvx::SystemSeparators(line);
    list += '"' + kvx::Staged(absolute ? path : kvx::CurrentFolder() + kvx::kPathSeparator + path) + '"';
    start = end + 1;
  }
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Scratch& files = Files();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kvx::fuzz::WriteWholeFile(files.list, text);

  const std::optional<std::string> list = kvx::ExpandItems("@" + files.list, kCapacity);
  const std::string expected = ReferenceList(text);
  if (expected.size() < kCapacity)
    Expect(list == expected, "the item list holds the file's entries in order, single blanks between");
  else
    Expect(!list, "a list past the buffer's capacity is refused");
  Expect(kvx::ExpandItems("@" + files.missing, kCapacity) == std::string(), "a list file that cannot be read gives no entry");
  return 0;
}
