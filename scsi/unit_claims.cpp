#include "scsi/unit_claims.h"

#include <algorithm>

namespace kvx::scsi {

bool UnitClaims::Claim(const UnitAddress& unit, UnitUse use, UnitUse& holder) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto held =
      std::find_if(claims_.begin(), claims_.end(), [&](const Entry& claim) { return claim.unit == unit; });
  if (held != claims_.end()) {
    holder = held->use;
    return false;
  }
  claims_.push_back({unit, use});
  return true;
}

void UnitClaims::Release(const UnitAddress& unit, UnitUse use) {
  std::lock_guard<std::mutex> guard(lock_);
  std::erase_if(claims_, [&](const Entry& claim) { return claim.unit == unit && claim.use == use; });
}

}  // namespace kvx::scsi
