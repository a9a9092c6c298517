#include "base/utf8.h"

#include <gtest/gtest.h>

namespace kvx {
namespace {

TEST(UTF8, OnlyTheShortestWellFormedFormIsUTF8) {
  for (const char* valid : {"", "abc", "\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"})
    EXPECT_TRUE(IsValidUTF8(valid)) << valid;
  // Overlong, lone continuation, cut short, surrogate, past U+10FFFF, bad lead bytes.
  for (const char* invalid : {"\xC0\xAF", "\xE0\x80\xAF", "\x80", "\xC3", "\xE6\x97", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                              "\xF8\x88\x80\x80\x80", "\xFF"})
    EXPECT_FALSE(IsValidUTF8(invalid)) << invalid;
}

}  // namespace
}  // namespace kvx
