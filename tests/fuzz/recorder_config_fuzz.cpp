// Fuzz target of the virtual recorders' configuration reader: the input is the INI text
// KVXASPI_CONFIG names. Either the units come out one per number 0..7 in order, with
// every value in its range, or the reader says which line it refused.
#include <cstdint>
#include <string>
#include <vector>

#include "standins/aspi/recorder_config.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using kvx::fuzz::Expect;

void CheckUnits(const std::vector<kvx::aspi::UnitConfig>& units) {
  Expect(units.size() <= 8, "at most eight units");
  for (size_t i = 0; i < units.size(); ++i) {
    const kvx::aspi::UnitConfig& unit = units[i];
    Expect(unit.number >= 0 && unit.number <= 7, "unit numbers are targets 0 to 7");
    Expect(i == 0 || units[i - 1].number < unit.number, "units in order, each once");
    Expect(unit.writeErrorSense.key <= 0xF, "a sense key is four bits");
    for (const kvx::aspi::CommandFault& fault : unit.faults)
      Expect(fault.sense.key <= 0xF, "a fault's sense key is four bits");
    Expect(unit.writeErrorLBA >= -1 && unit.writeErrorLBA <= 0xFFFFFFFFll, "the failing LBA is a block address");
    Expect(unit.letter == 0 || (unit.letter >= 'A' && unit.letter <= 'Z'), "a drive letter is a letter");
    kvx::aspi::MediaType media;
    Expect(kvx::aspi::ParseMedia(kvx::aspi::MediaName(unit.media), media) && media == unit.media,
           "the medium's name reads back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<kvx::aspi::UnitConfig> units(1);
  std::string error;
  if (kvx::aspi::ParseRecorderConfig(text, units, error)) {
    Expect(error.empty(), "no message on success");
    CheckUnits(units);
  } else {
    Expect(error.rfind("line ", 0) == 0, "a refusal names its line");
  }
  return 0;
}
