#include "base/path_rules_system.h"

namespace kvx::path_rules {

// Names are bytes here: only repeated separators are the system's to fold.
std::optional<std::filesystem::path> SystemForm(const std::filesystem::path& path, bool) {
  return path.lexically_normal();
}

bool SameName(const std::filesystem::path& a, const std::filesystem::path& b) { return a.native() == b.native(); }

}  // namespace kvx::path_rules
