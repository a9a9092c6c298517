#include "tests/support/test_files.h"

#include <fstream>
#include <iterator>

namespace kvx::test {

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteWholeFileAndFolders(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  WriteWholeFile(path, bytes);
}

std::map<std::string, std::string> ReadTree(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
    tree[fs::relative(entry.path(), root).generic_string()] = entry.is_directory() ? "/" : ReadWholeFile(entry.path());
  return tree;
}

}  // namespace kvx::test
