#include <gtest/gtest.h>

#include <ctime>

#include "host/text_helpers.h"

namespace kvx {
namespace {

TEST(TrimText, ModesTreatSpacesAndFFAsBlanks) {
  const std::string text = " \xFF" "a  \xFF" "b \xFF ";
  EXPECT_EQ(TrimText(text, TrimMode::kLeading), "a  \xFF" "b \xFF ");
  EXPECT_EQ(TrimText(text, TrimMode::kCollapseRuns), " a b ");
  EXPECT_EQ(TrimText(text, TrimMode::kTrailing), " \xFF" "a  \xFF" "b");
  EXPECT_EQ(TrimText(text, TrimMode::kAll), "a b");
  // A run that starts with FFh follows no space and stays.
  EXPECT_EQ(TrimText("a\xFF\xFF" "b", TrimMode::kCollapseRuns), "a\xFF\xFF" "b");
}

TEST(ZeroPad, PadsAndMovesTheSignToTheFront) {
  EXPECT_EQ(ZeroPad(7, 2), "07");
  EXPECT_EQ(ZeroPad(123, 2), "123");
  EXPECT_EQ(ZeroPad(3, 0), "3");
  EXPECT_EQ(ZeroPad(-5, 4), "-005");
  EXPECT_EQ(ZeroPad(-5, 2), "-5");
  EXPECT_EQ(ZeroPad(-2147483647 - 1, 12), "-02147483648");
}

TEST(TextToInt, TrimmedDecimalOrZero) {
  EXPECT_EQ(TextToInt(" 12 "), 12);
  EXPECT_EQ(TextToInt("1a"), 0);
  EXPECT_EQ(TextToInt("-42"), -42);
  EXPECT_EQ(TextToInt("+7"), 7);
  EXPECT_EQ(TextToInt(""), 0);
  EXPECT_EQ(TextToInt("99999999999"), 0);  // out of range
  EXPECT_EQ(TextToInt(std::string(29, ' ') + "5"), 5);
  EXPECT_EQ(TextToInt(std::string(30, ' ') + "5"), 0);  // only 30 characters are read
}

TEST(DateStamp, EightDigitsInEitherOrder) {
  EXPECT_EQ(DateStampOf(2026, 3, 9, false), "20260309");
  EXPECT_EQ(DateStampOf(2026, 3, 9, true), "09032026");
  // Each stamp is compared with the date read just before and just after it was made, so
  // that midnight passing between two reads of the clock cannot fail the test.
  const auto stampAt = [](std::time_t time, bool dayFirst) {
    const std::tm local = *std::localtime(&time);
    return DateStampOf(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, dayFirst);
  };
  for (const bool dayFirst : {false, true}) {
    const std::time_t before = std::time(nullptr);
    const std::string stamp = DateStamp(dayFirst);
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(stamp == stampAt(before, dayFirst) || stamp == stampAt(after, dayFirst)) << stamp;
  }
}

TEST(SplitFields, FillsUpToCountAndStopsWhenEmpty) {
  std::vector<std::string> fields(4, "old");
  SplitFields("a,,b", fields, 4);
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "", "b", "old"}));
  SplitFields("x,y,z", fields, 2);
  EXPECT_EQ(fields, (std::vector<std::string>{"x", "y", "b", "old"}));
  std::vector<std::string> one;
  SplitFields("VELTRANOKISMARE,,,", one, 1);
  EXPECT_EQ(one, (std::vector<std::string>{"VELTRANOKISMARE"}));
}

}  // namespace
}  // namespace kvx
