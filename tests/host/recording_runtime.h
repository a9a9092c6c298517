// A runtime for native tests of the bridge: records each entry-point call and
// answers inputs and results from a queue.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kvxtest {

struct RecordingRuntime {
  std::vector<std::string> calls;     // "INIT", "CMD <bytes>", "TERM", "HFTERMINE <n>"
  std::deque<std::string> codes;      // code written at offset 232 by each command
  std::deque<int32_t> results;        // nGetValeurRetour answers (0 when empty)
  std::vector<uint8_t> linkAtInit;    // bytes 0..3 of the link record at InitModule
  std::string failOn;                 // a command starting with it throws (when not empty)
};

RecordingRuntime& Runtime();

}  // namespace kvxtest
