#include "base/path_rules.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/path_rules_system.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

bool HasDotPartOrControl(const fs::path& path) {
  const fs::path::string_type& text = path.native();
  if (std::any_of(text.begin(), text.end(), [](auto unit) { return static_cast<unsigned>(unit) < 0x20; })) return true;
  return std::any_of(path.begin(), path.end(), [](const fs::path& part) { return part == "." || part == ".."; });
}

// The parts of the system's form of a plain path; nothing when it is not one.
std::optional<std::vector<fs::path>> Parts(const fs::path& path, bool longNames) {
  if (HasDotPartOrControl(path)) return std::nullopt;
  const std::optional<fs::path> form = path_rules::SystemForm(path, longNames);
  if (!form || !form->is_absolute()) return std::nullopt;
  std::vector<fs::path> parts;
  for (const fs::path& part : *form)
    if (!part.empty()) parts.push_back(part);  // a final separator reads as an empty part
  return parts;
}

bool SamePrefix(const std::vector<fs::path>& longer, const std::vector<fs::path>& prefix) {
  return std::equal(prefix.begin(), prefix.end(), longer.begin(), path_rules::SameName);
}

}  // namespace

bool IsPlainAbsolutePath(const fs::path& path) { return Parts(path, false).has_value(); }

bool PathUnder(const fs::path& path, const fs::path& folder) {
  const auto inner = Parts(path, false), outer = Parts(folder, false);
  return inner && outer && inner->size() > outer->size() && SamePrefix(*inner, *outer);
}

bool SamePath(const fs::path& a, const fs::path& b) {
  const auto left = Parts(a, true), right = Parts(b, true);
  return left && right && left->size() == right->size() && SamePrefix(*left, *right);
}

}  // namespace kvx
