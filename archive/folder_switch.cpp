#include "archive/folder_switch.h"

#include <algorithm>
#include <system_error>

namespace kvx {
namespace {

namespace fs = std::filesystem;

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

bool PlanMerge(const fs::path& from, const fs::path& to, const fs::path& aside, std::vector<Rename>& plan) {
  std::error_code error;
  std::vector<fs::path> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, error)) names.push_back(entry.path().filename());
  if (error) return false;
  std::sort(names.begin(), names.end());
  for (const fs::path& name : names) {
    const fs::path source = from / name, target = to / name;
    if (fs::is_directory(source, error) && fs::is_directory(target, error)) {
      if (!PlanMerge(source, target, aside / name, plan)) return false;
      continue;
    }
    if (Exists(target)) plan.push_back({target, aside / name});
    plan.push_back({source, target});
  }
  return true;
}

}  // namespace

bool RenameEntry(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::rename(from, to, error);
  return !error;
}

std::vector<Rename> PlanSwitch(const fs::path& incoming, const fs::path& target, const fs::path& replaced) {
  std::vector<Rename> plan;
  if (!PlanMerge(incoming, target, replaced, plan)) plan.clear();
  return plan;
}

SwitchOutcome RunSwitch(const std::vector<Rename>& plan, const RenameStep& rename, const RenameDone& done,
                        const RenameDone& undone) {
  for (std::size_t i = 0; i < plan.size(); ++i) {
    std::error_code error;
    fs::create_directories(plan[i].to.parent_path(), error);  // the folders under `replaced`
    if (!rename(plan[i].from, plan[i].to))
      return UndoSwitch({plan.begin(), plan.begin() + static_cast<std::ptrdiff_t>(i)}, rename, undone)
                 ? SwitchOutcome::Undone
                 : SwitchOutcome::Mixed;
    done(i);
  }
  return SwitchOutcome::Switched;
}

bool UndoSwitch(const std::vector<Rename>& plan, const RenameStep& rename, const RenameDone& undone) {
  bool all = true;
  for (std::size_t i = plan.size(); i-- > 0;) {
    if (StateOf(plan[i]) != RenameState::Made) continue;
    if (!rename(plan[i].to, plan[i].from))
      all = false;
    else if (undone)
      undone(i);
  }
  return all;
}

RenameState StateOf(const Rename& step) {
  const bool source = Exists(step.from), target = Exists(step.to);
  return source == target ? RenameState::Neither : target ? RenameState::Made : RenameState::NotMade;
}

SwitchOutcome SwitchFolders(const fs::path& incoming, const fs::path& target, const fs::path& replaced,
                            const RenameStep& rename) {
  return RunSwitch(PlanSwitch(incoming, target, replaced), rename, [](std::size_t) {});
}

}  // namespace kvx
