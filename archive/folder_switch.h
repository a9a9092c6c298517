// Puts a folder prepared aside in place of the entries it replaces, by renames only, so
// that a restore lands whole or not at all. The renames are planned before the first one,
// so that a journal can name them all, and undone from what the folders show, so that an
// interrupted switch can be undone by a later process.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <vector>

namespace kvx {

enum class SwitchOutcome {
  Switched,  // every incoming entry is in place; the entries it replaced are under `replaced`
  Undone,    // a rename failed and every rename done was undone: the target is as it was
  Mixed,     // a rename failed and could not all be undone: originals remain under `replaced`
};

struct Rename {
  std::filesystem::path from;
  std::filesystem::path to;
};

// One rename; true when done.
using RenameStep = std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)>;
bool RenameEntry(const std::filesystem::path& from, const std::filesystem::path& to);

// The renames that move every entry of incoming into target, in name order. An entry of
// target that an incoming one replaces is first moved to the same place under replaced;
// a folder on both sides is merged entry by entry; entries of target that nothing
// replaces stay. Empty when incoming cannot be read.
std::vector<Rename> PlanSwitch(const std::filesystem::path& incoming, const std::filesystem::path& target,
                               const std::filesystem::path& replaced);

using RenameDone = std::function<void(std::size_t index)>;

// Runs the plan in order, calling done with the index of each rename made; a failed
// rename undoes the ones made, calling undone with the index of each one undone (so that
// a journal can tell a later process which went back).
SwitchOutcome RunSwitch(const std::vector<Rename>& plan, const RenameStep& rename, const RenameDone& done,
                        const RenameDone& undone = {});

// Undoes, last first, every rename of the plan that the folders show made (its target
// there, its source gone), calling undone with the index of each; true when each of them
// went back.
bool UndoSwitch(const std::vector<Rename>& plan, const RenameStep& rename = RenameEntry, const RenameDone& undone = {});

// Whether the folders show the rename made (target there, source gone) or not made or
// undone (source there, target gone); neither when both or none are there.
enum class RenameState { Made, NotMade, Neither };
RenameState StateOf(const Rename& step);

// PlanSwitch then RunSwitch.
SwitchOutcome SwitchFolders(const std::filesystem::path& incoming, const std::filesystem::path& target,
                            const std::filesystem::path& replaced, const RenameStep& rename = RenameEntry);

}  // namespace kvx
