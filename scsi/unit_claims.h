// The long operations of the engine (a write, a blanking) claim their unit for their
// whole length, so that no other one starts on the same unit from any component of
// the program. The table belongs to the transport hub the units are reached through.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace kvx::scsi {

enum class UnitUse : uint8_t { None, Writing, Erasing };

struct UnitAddress {
  uint8_t haId = 0, target = 0, lun = 0;
  bool operator==(const UnitAddress&) const = default;
};

class UnitClaims {
 public:
  // Claims the unit for use; false when another operation holds it (its use in holder).
  bool Claim(const UnitAddress& unit, UnitUse use, UnitUse& holder);
  // Ends the claim of use on the unit.
  void Release(const UnitAddress& unit, UnitUse use);

 private:
  struct Entry {
    UnitAddress unit;
    UnitUse use;
  };
  std::mutex lock_;  // guards claims_
  std::vector<Entry> claims_;
};

}  // namespace kvx::scsi
