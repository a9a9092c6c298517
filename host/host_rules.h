// Text forms and command rules of the host bridge: pure functions over Windows-1252
// bytes, with no runtime behind them, so they are tested byte for byte natively.
#pragma once

#include "base/ascii_case.h"

#include <optional>
#include <string>
#include <string_view>

namespace kvx {

// Replaces the accented letters ÄÅàáâäå ÇçèéêëìíîïÖòôöÜùúû by a plain lower-case letter;
// every other byte stays (É, È, ã, ñ, ó, õ and ü among them).
std::string FoldAccents(std::string_view text);
// FoldAccents, then upper-casing of a..z only.
std::string PlainUpper(std::string_view text);
// Removes every space and NUL byte.
std::string RemoveBlanks(std::string_view text);

inline constexpr size_t kHostCommandMax = 255;  // caller text kept by the bridge
inline constexpr size_t kHostWireMax = 254;     // sent text, so that the NUL fits

// Automatic command the bridge sends before the caller's text: EXECUTE("FermeFen")
// before FERME, EXECUTE("OUVREFEN","NAME") before OUVRE. None for other verbs.
std::optional<std::string> HookCommand(std::string_view buffer);

// True for the input command ("ECRAN,SAISIE..."), the only one that keeps its code.
bool IsInputCommand(std::string_view buffer);

// The caller's text as it goes out: input normalisation, quote rule, execute rule
// (E9h for the second e of "execute("), cut to kHostWireMax bytes.
std::string AdjustCommand(std::string_view buffer);

}  // namespace kvx
