#include "host/host_rules.h"

#include <algorithm>

namespace kvx {
namespace {

char FoldAccent(unsigned char c) {
  switch (c) {
    case 0xC4: case 0xC5: case 0xE0: case 0xE1: case 0xE2: case 0xE4: case 0xE5: return 'a';
    case 0xC7: case 0xE7: return 'c';
    case 0xE8: case 0xE9: case 0xEA: case 0xEB: return 'e';
    case 0xEC: case 0xED: case 0xEE: case 0xEF: return 'i';
    case 0xD6: case 0xF2: case 0xF4: case 0xF6: return 'o';
    case 0xDC: case 0xF9: case 0xFA: case 0xFB: return 'u';
    default: return static_cast<char>(c);
  }
}

bool StartsWithUpper(std::string_view text, std::string_view prefix) {
  return ASCIIUpper(text.substr(0, prefix.size())) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Window name of an OUVRE text: characters 7 up to ".WDW" (or to the end), upper case.
std::string OpenedWindowName(std::string_view buffer) {
  const std::string upper = ASCIIUpper(buffer);
  const size_t extension = upper.find(".WDW");
  const size_t first = std::min<size_t>(6, upper.size());
  const size_t last = extension == std::string::npos ? upper.size() : std::max(extension, first);
  return upper.substr(first, last - first);
}

std::string ApplyQuoteRule(std::string buffer) {
  if (!Contains(PlainUpper(buffer), "EXECUTE")) std::replace(buffer.begin(), buffer.end(), '"', '\'');
  return buffer;
}

std::string ApplyExecuteRule(std::string buffer) {
  const std::string lower = ASCIILower(buffer);
  if (!Contains(lower, "execute") || Contains(lower, "executer")) return buffer;
  if (const size_t call = lower.find("execute("); call != std::string::npos) {
    buffer[call + 2] = '\xE9';
    return buffer;
  }
  if (Contains(lower, ".")) return buffer;
  const size_t comma = lower.find("execute,");
  // The procedure name starts after "execute," or, without that comma, at the eighth byte.
  const size_t start = comma == std::string::npos ? 7 : comma + 8;
  const std::string_view rest = start < buffer.size() ? std::string_view(buffer).substr(start) : "";
  return "ex\xE9" "cute(\"" + RemoveBlanks(rest) + "\")";
}

}  // namespace

std::string FoldAccents(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldAccent(static_cast<unsigned char>(c));
  return out;
}

std::string PlainUpper(std::string_view text) { return ASCIIUpper(FoldAccents(text)); }

std::string RemoveBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != ' ' && c != '\0') out += c;
  return out;
}

std::optional<std::string> HookCommand(std::string_view buffer) {
  if (StartsWithUpper(buffer, "FERME")) return std::string("EXECUTE(\"FermeFen\")");
  if (StartsWithUpper(buffer, "OUVRE"))
    return "EXECUTE(\"OUVREFEN\",\"" + OpenedWindowName(buffer) + "\")";
  return std::nullopt;
}

bool IsInputCommand(std::string_view buffer) { return StartsWithUpper(buffer, "ECRAN,SAISIE"); }

std::string AdjustCommand(std::string_view buffer) {
  std::string text(buffer.substr(0, kHostCommandMax));
  if (IsInputCommand(text)) text = "ECRAN,SAISIE";
  text = ApplyExecuteRule(ApplyQuoteRule(std::move(text)));
  if (text.size() > kHostWireMax) text.resize(kHostWireMax);
  return text;
}

}  // namespace kvx
