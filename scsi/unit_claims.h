// The long operations of the engine (a write, a blanking) claim their unit for their
// whole length, so that no other one starts on the same unit from any component of
// the process. Kept process-wide, as the transport the units are reached through.
#pragma once

#include <cstdint>

namespace kvx::scsi {

enum class UnitUse : uint8_t { None, Writing, Erasing };

struct UnitAddress {
  uint8_t haId = 0, target = 0, lun = 0;
  bool operator==(const UnitAddress&) const = default;
};

// Claims the unit for use; false when another operation holds it (its use in holder).
bool ClaimUnit(const UnitAddress& unit, UnitUse use, UnitUse& holder);
// Ends the claim of use on the unit.
void ReleaseUnit(const UnitAddress& unit, UnitUse use);

}  // namespace kvx::scsi
