// Puts a folder prepared aside in place of the entries it replaces, by renames only, so
// that a restore lands whole or not at all.
#pragma once

#include <filesystem>
#include <functional>

namespace kvx {

enum class SwitchOutcome {
  Switched,  // every incoming entry is in place; the entries it replaced are under `replaced`
  Undone,    // a rename failed and every rename done was undone: the target is as it was
  Mixed,     // a rename failed and could not all be undone: originals remain under `replaced`
};

// One rename; true when done.
using RenameStep = std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)>;
bool RenameEntry(const std::filesystem::path& from, const std::filesystem::path& to);

// Moves every entry of incoming into target, in name order. An entry of target that an
// incoming one replaces is first moved to the same place under replaced; a folder on
// both sides is merged entry by entry; entries of target that nothing replaces stay.
SwitchOutcome SwitchFolders(const std::filesystem::path& incoming, const std::filesystem::path& target,
                            const std::filesystem::path& replaced, const RenameStep& rename = RenameEntry);

}  // namespace kvx
