// Text and number helpers shared by the actions and the wizards. Blanks are spaces
// and bytes FFh.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

enum class TrimMode {
  kLeading,       // leading blanks removed
  kCollapseRuns,  // each run of blanks after a space collapsed into that space
  kTrailing,      // trailing blanks removed
  kAll,           // the three above, in that order
};
std::string TrimText(std::string_view text, TrimMode mode);

// Decimal text of at least width characters, padded with "0", sign in front: -5, 4 gives "-005".
std::string ZeroPad(int32_t value, int width);

// At most 30 characters, trimmed, read as a decimal integer; 0 when not a number.
int32_t TextToInt(std::string_view text);

// Today's date as 8 digits: year, month, day, or day, month, year when dayFirst.
std::string DateStamp(bool dayFirst);
std::string DateStampOf(int year, int month, int day, bool dayFirst);

// Fills the first count entries of fields from a comma list, stopping when nothing is left.
void SplitFields(std::string_view text, std::vector<std::string>& fields, size_t count);

}  // namespace kvx
