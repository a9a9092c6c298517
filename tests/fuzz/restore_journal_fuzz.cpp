// Fuzz target of the restore journal: the input is a KVXRESTO.JNL, each "@" in it read as
// the scratch folder, where an installation APP (OUTILS, FIC01, TRAMES) lies beside a
// folder OTHER. The journal is read, checked and acted on by a start's recovery, then
// asked whether a recovery of FIC01 is pending: nothing may throw, nothing outside the
// folders a restore of APP touches may change, and the journal ends removed, set aside
// byte for byte, or kept by a recovery that says it failed.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/restore_journal.h"
#include "base/file_search.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using kvx::fuzz::Expect;
using Tree = std::map<std::string, std::string>;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every entry under root (links as links), with the bytes of each file.
Tree ReadTree(const fs::path& root) {
  Tree tree;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
    tree[it->path().lexically_relative(root).string()] = it->is_symlink()     ? "->"
                                                         : it->is_directory() ? "/"
                                                                              : ReadAll(it->path());
  return tree;
}

void Put(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  kvx::fuzz::WriteWholeFile(path, bytes);
}

// The installation as every run starts from it.
void Lay(const fs::path& root) {
  std::error_code error;
  fs::remove_all(root / "APP", error);
  Put(root / "APP" / "OUTILS" / "KVXOUTIL.EXE", "program");
  Put(root / "APP" / "FIC01" / "CLIENTS.FIC", "clients");
  Put(root / "APP" / "FIC01" / "PARAM.DTA", "parameters");
  Put(root / "APP" / "FIC01" / "KVXR0001.$$$" / "OLD" / "CLIENTS.FIC", "old clients");
  Put(root / "APP" / "KVXR0001.$$$" / "NEW" / "TRAMES" / "FACTURE.TRM", "new frame");
  Put(root / "APP" / "TRAMES" / "FACTURE.TRM", "frame");
}

// Whether name (relative to the scratch folder) lies under one of the folders.
bool Under(const std::string& name, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders)
    if (!folder.empty() && (name == folder || name.starts_with(folder + "/"))) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path& root = kvx::fuzz::ScratchFolder();
  Put(root / "OTHER" / "KVXR0001.$$$" / "KEEP.TXT", "other");
  Put(root / "OTHER" / "PARAM.DTA", "other parameters");
  Lay(root);
  const Tree before = ReadTree(root);
  std::string text(reinterpret_cast<const char*>(data), size);
  for (std::size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += root.string().size())
    text.replace(at, 1, root.string());
  const std::string folder = (root / "APP" / "OUTILS").string() + "\\";
  const fs::path journal = root / "APP" / "OUTILS" / "KVXRESTO.JNL", aside = journal.string() + ".1.bad";
  kvx::fuzz::WriteWholeFile(journal, text);
  // What a valid journal lets the recovery change: its data folder, the installation's
  // work folder and TRAMES.
  std::vector<std::string> allowed = {"APP/OUTILS/KVXRESTO.JNL", "APP/OUTILS/KVXRESTO.JNL.1.bad"};
  std::string why;
  const std::optional<kvx::RestoreRecord> record = kvx::ReadRestoreJournal(journal.string(), why);
  const bool valid = record && kvx::CheckRestoreRecord(*record, folder, why);
  if (valid) {
    std::string dataFolder = record->dataFolder;
    while (dataFolder.ends_with('\\') || dataFolder.ends_with('/')) dataFolder.pop_back();
    allowed.push_back(kvx::NativePath(dataFolder).lexically_relative(root).string());
    allowed.insert(allowed.end(), {"APP/KVXR0001.$$$", "APP/TRAMES"});
  }

  const kvx::RecoveryReport report = kvx::RecoverInterruptedRestore(folder);
  Expect(report.found && !report.message.empty(), "a journal is found and told");
  const Tree after = ReadTree(root);
  for (const Tree* tree : {&before, &after})
    for (const auto& [name, bytes] : *tree) {
      const auto there = (tree == &before ? after : before).find(name);
      if (there == (tree == &before ? after : before).end() || there->second != bytes)
        Expect(Under(name, allowed), "nothing changes outside what the journal may touch");
    }
  if (!valid) {
    Expect(report.failed && kvx::NativePath(report.setAside) == aside,
           "a journal that is not valid is set aside and told");
    Expect(ReadAll(aside) == text && !fs::exists(journal), "it is set aside as it was");
  } else if (fs::exists(journal)) {
    std::string message;
    Expect(report.failed, "a journal kept is a recovery that did not end");
    Expect(kvx::RecoveryPending(folder, record->dataFolder, message) && !message.empty(),
           "a journal kept leaves its data folder's recovery pending");
  }
  std::error_code error;
  fs::remove(journal, error);
  fs::remove(aside, error);
  return 0;
}
