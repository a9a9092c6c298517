#include "tests/host/recording_runtime.h"

#include <cstring>
#include <stdexcept>

#include "host/host_link.h"

namespace kvxtest {

RecordingRuntime& Runtime() {
  static RecordingRuntime runtime;
  return runtime;
}

}  // namespace kvxtest

using kvxtest::Runtime;

int32_t InitModule(kvx::HostLinkRecord* link) {
  Runtime().calls.push_back("INIT");
  Runtime().linkAtInit.assign(link->bytes, link->bytes + 4);
  return 0;
}

int32_t WDExecuteCommande(kvx::HostLinkRecord* link, const char* command) {
  Runtime().calls.push_back(std::string("CMD ") + command);
  if (!Runtime().failOn.empty() && std::string(command).rfind(Runtime().failOn, 0) == 0)
    throw std::runtime_error("host gone");
  std::string code;
  if (!Runtime().codes.empty()) {
    code = Runtime().codes.front();
    Runtime().codes.pop_front();
  }
  std::memset(link->bytes + kvx::kLinkButtonCode, 0, kvx::kLinkButtonCodeSize);
  std::memcpy(link->bytes + kvx::kLinkButtonCode, code.data(), std::min<size_t>(code.size(), 3));
  return 0;
}

int32_t nGetValeurRetour() {
  if (Runtime().results.empty()) return 0;
  const int32_t value = Runtime().results.front();
  Runtime().results.pop_front();
  return value;
}

double dGetValeurRetour() { return 0.0; }

int32_t TermModule(kvx::HostLinkRecord*) {
  Runtime().calls.push_back("TERM");
  return 0;
}

int32_t LE_HftermineCTX(int32_t value) {
  Runtime().calls.push_back("HFTERMINE " + std::to_string(value));
  return 0;
}
