// Fuzz target of the host command rules: the input is a caller's command text. The
// adjusted text fits the wire with its NUL, the quote and execute rules hold, the hooks
// name what they should, and the text forms keep their promises.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ascii_case.h"
#include "host/host_rules.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using kvx::fuzz::Expect;

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

void CheckTextForms(std::string_view text) {
  const std::string folded = kvx::FoldAccents(text);
  Expect(folded.size() == text.size(), "folding keeps the length");
  const std::string upper = kvx::PlainUpper(text);
  Expect(upper == kvx::ASCIIUpper(folded), "plain upper is folding then upper case");
  Expect(std::none_of(upper.begin(), upper.end(), [](char c) { return c >= 'a' && c <= 'z'; }),
         "plain upper leaves no lower-case letter");
  const std::string plain = kvx::RemoveBlanks(text);
  Expect(plain.find_first_of(std::string_view(" \0", 2)) == std::string::npos, "no blank or NUL stays");
  Expect(plain.size() + std::count(text.begin(), text.end(), ' ') + std::count(text.begin(), text.end(), '\0') ==
             text.size(),
         "only blanks and NULs go");
}

void CheckAdjusted(std::string_view text) {
  const std::string adjusted = kvx::AdjustCommand(text);
  Expect(adjusted.size() <= kvx::kHostWireMax, "the adjusted text leaves room for its NUL");
  const std::string_view kept = text.substr(0, kvx::kHostCommandMax);
  if (kvx::IsInputCommand(kept)) {
    Expect(adjusted == "ECRAN,SAISIE", "an input command goes out normalised");
    return;
  }
  const std::string lower = kvx::ASCIILower(kept);
  const bool rewritten = Contains(lower, "execute") && !Contains(lower, "executer");
  if (!rewritten) {
    // Only the quote rule applies, and only without EXECUTE in the text.
    std::string expected(kept.substr(0, kvx::kHostWireMax));
    if (!Contains(kvx::PlainUpper(kept), "EXECUTE")) std::replace(expected.begin(), expected.end(), '"', '\'');
    Expect(adjusted == expected, "a text without the execute word only follows the quote rule");
  } else if (const size_t call = lower.find("execute("); call != std::string::npos && call + 2 < adjusted.size()) {
    Expect(adjusted[call + 2] == '\xE9', "execute( goes out with its second e accented");
  } else if (call == std::string::npos && !Contains(lower, ".")) {
    Expect(adjusted.rfind("ex\xE9" "cute(\"", 0) == 0, "a bare execute becomes a call");
  }
}

void CheckHook(std::string_view text) {
  const std::optional<std::string> hook = kvx::HookCommand(text);
  const std::string head = kvx::ASCIIUpper(text.substr(0, 5));
  Expect(hook.has_value() == (head == "FERME" || head == "OUVRE"), "only FERME and OUVRE have hooks");
  if (!hook || head != "OUVRE") return;
  const std::string prefix = "EXECUTE(\"OUVREFEN\",\"";
  Expect(hook->rfind(prefix, 0) == 0 && hook->size() >= prefix.size() + 2 && hook->ends_with("\")"),
         "the open hook is a call of OUVREFEN");
  const std::string name = hook->substr(prefix.size(), hook->size() - prefix.size() - 2);
  Expect(name == kvx::ASCIIUpper(name) && !Contains(name, ".WDW"), "the window name is upper case, without extension");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckTextForms(text);
  CheckAdjusted(text);
  CheckHook(text);
  return 0;
}
