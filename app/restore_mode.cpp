#include "app/restore_mode.h"

namespace kvx {

ActionOutcome RunRestoreMode(const std::vector<std::string>&) {
  // The restore itself arrives with the archive procedures; until then the start-up goes on.
  return ActionOutcome::Continue;
}

}  // namespace kvx
