#include "wizard/folder_switch.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

namespace kvx {
namespace {

namespace fs = std::filesystem;

// The renames done so far, so that they can be undone in reverse order.
class Switch {
 public:
  explicit Switch(const RenameStep& rename) : rename_(rename) {}

  bool Merge(const fs::path& from, const fs::path& to, const fs::path& aside) {
    std::error_code error;
    std::vector<fs::path> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(from, error)) names.push_back(entry.path().filename());
    if (error) return false;
    std::sort(names.begin(), names.end());
    for (const fs::path& name : names) {
      const fs::path source = from / name, target = to / name;
      if (fs::is_directory(source, error) && fs::is_directory(target, error)) {
        if (!Merge(source, target, aside / name)) return false;
        continue;
      }
      if (fs::exists(fs::symlink_status(target, error))) {
        fs::create_directories(aside, error);
        if (!Step(target, aside / name)) return false;
      }
      if (!Step(source, target)) return false;
    }
    return true;
  }

  bool Undo() {
    bool all = true;
    for (auto done = journal_.rbegin(); done != journal_.rend(); ++done)
      if (!rename_(done->second, done->first)) all = false;
    return all;
  }

 private:
  bool Step(const fs::path& from, const fs::path& to) {
    if (!rename_(from, to)) return false;
    journal_.emplace_back(from, to);
    return true;
  }

  const RenameStep& rename_;
  std::vector<std::pair<fs::path, fs::path>> journal_;
};

}  // namespace

bool RenameEntry(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::rename(from, to, error);
  return !error;
}

SwitchOutcome SwitchFolders(const fs::path& incoming, const fs::path& target, const fs::path& replaced,
                            const RenameStep& rename) {
  Switch change(rename);
  if (change.Merge(incoming, target, replaced)) return SwitchOutcome::Switched;
  return change.Undo() ? SwitchOutcome::Undone : SwitchOutcome::Mixed;
}

}  // namespace kvx
