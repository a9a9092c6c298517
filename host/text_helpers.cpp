#include "host/text_helpers.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace kvx {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\xFF'; }

std::string TrimLeading(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  return std::string(text.substr(first));
}

std::string TrimTrailing(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

std::string CollapseBlankRuns(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (!(IsBlank(c) && !out.empty() && out.back() == ' ')) out += c;
  return out;
}

}  // namespace

std::string TrimText(std::string_view text, TrimMode mode) {
  switch (mode) {
    case TrimMode::kLeading: return TrimLeading(text);
    case TrimMode::kCollapseRuns: return CollapseBlankRuns(text);
    case TrimMode::kTrailing: return TrimTrailing(text);
    case TrimMode::kAll: break;
  }
  return TrimTrailing(CollapseBlankRuns(TrimLeading(text)));
}

std::string ZeroPad(int32_t value, int width) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%*d", width < 0 ? 0 : (width > 40 ? 40 : width), value);
  std::string text = buffer;
  bool negative = false;
  for (char& c : text) {
    if (c == '-') negative = true;
    if (c == ' ' || c == '-') c = '0';
  }
  if (negative) text = "-" + text.substr(1);
  return text;
}

int32_t TextToInt(std::string_view text) {
  const std::string trimmed = TrimText(text.substr(0, 30), TrimMode::kAll);
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return 0;
  return value;
}

std::string DateStampOf(int year, int month, int day, bool dayFirst) {
  char buffer[32];
  if (dayFirst) std::snprintf(buffer, sizeof buffer, "%02d%02d%04d", day, month, year);
  else std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", year, month, day);
  return buffer;
}

std::string DateStamp(bool dayFirst) {
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);
  return DateStampOf(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, dayFirst);
}

void SplitFields(std::string_view text, std::vector<std::string>& fields, size_t count) {
  if (fields.size() < count) fields.resize(count);
  for (size_t i = 0; i < count && !text.empty(); ++i) {
    const size_t comma = text.find(',');
    fields[i] = std::string(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
}

}  // namespace kvx
