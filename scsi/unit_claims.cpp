#include "scsi/unit_claims.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace kvx::scsi {
namespace {

struct Claim {
  UnitAddress unit;
  UnitUse use;
};

struct ClaimTable {
  std::mutex lock;  // guards claims
  std::vector<Claim> claims;
};

ClaimTable& Claims() {
  static ClaimTable table;
  return table;
}

}  // namespace

bool ClaimUnit(const UnitAddress& unit, UnitUse use, UnitUse& holder) {
  ClaimTable& table = Claims();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto held = std::find_if(table.claims.begin(), table.claims.end(),
                                 [&](const Claim& claim) { return claim.unit == unit; });
  if (held != table.claims.end()) {
    holder = held->use;
    return false;
  }
  table.claims.push_back({unit, use});
  return true;
}

void ReleaseUnit(const UnitAddress& unit, UnitUse use) {
  ClaimTable& table = Claims();
  std::lock_guard<std::mutex> guard(table.lock);
  std::erase_if(table.claims, [&](const Claim& claim) { return claim.unit == unit && claim.use == use; });
}

}  // namespace kvx::scsi
