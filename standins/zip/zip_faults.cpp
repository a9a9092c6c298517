#include "standins/zip/zip_faults.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace kvxzip {
namespace {

std::optional<uint64_t> NumberOf(std::string_view text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::toupper(x) == std::toupper(y);
  });
}

void ApplyItem(std::string_view item, ZipFaults& faults) {
  const size_t equals = item.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = item.substr(0, equals), value = item.substr(equals + 1);
  if (key == "write-fail-after") {
    if (auto bytes = NumberOf(value)) faults.writeFailAfter = bytes;
  } else if (key == "write-corrupt-at") {
    if (auto offset = NumberOf(value)) faults.writeCorruptAt = offset;
  } else if (key == "extract-fail-after") {
    if (auto members = NumberOf(value)) faults.extractFailAfter = members;
  } else if (key == "flush-fail") {
    faults.flushFail = value == "1";
  } else if (key == "read-fail" && !value.empty()) {
    faults.unreadable.emplace_back(value);
  } else if (key == "read-fail-at") {
    const size_t at = value.rfind('@');
    if (at == std::string_view::npos || at == 0) return;
    if (auto offset = NumberOf(value.substr(at + 1))) faults.readFailAt.emplace_back(value.substr(0, at), *offset);
  }
}

}  // namespace

bool ZipFaults::Unreadable(const std::string& memberName) const {
  return std::any_of(unreadable.begin(), unreadable.end(),
                     [&](const std::string& name) { return SameLetters(name, memberName); });
}

std::optional<uint64_t> ZipFaults::ReadFailsAt(const std::string& memberName) const {
  for (const auto& [name, offset] : readFailAt)
    if (SameLetters(name, memberName)) return offset;
  return std::nullopt;
}

ZipFaults ParseZipFaults(std::string_view text) {
  ZipFaults faults;
  while (!text.empty()) {
    const size_t end = std::min(text.find(';'), text.size());
    ApplyItem(text.substr(0, end), faults);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return faults;
}

ZipFaults ZipFaultsFromEnvironment() {
  const char* text = std::getenv("KVXZIP_FAULTS");
  return text ? ParseZipFaults(text) : ZipFaults{};
}

}  // namespace kvxzip
