#include <gtest/gtest.h>

#include <sstream>

#include "archive/lpstr.h"

namespace kvx {
namespace {

TEST(TLPStr, GrowsWithItsTextUnlessSized) {
  TLPStr holder;
  EXPECT_EQ(holder.Text(), nullptr);
  EXPECT_EQ(holder.GetText(), "");
  holder.SetText("C:\\KVX\\SAUVE.ZIP");
  EXPECT_STREQ(holder.Text(), "C:\\KVX\\SAUVE.ZIP");
  EXPECT_EQ(holder.Capacity(), 17);
  EXPECT_FALSE(holder.Fixed());
  holder.SetText(nullptr);
  EXPECT_EQ(holder.Text(), nullptr);
  EXPECT_EQ(holder.Capacity(), 0);
}

TEST(TLPStr, SizedHolderCutsAndKeepsItsBuffer) {
  TLPStr holder;
  holder.SetText("ABCDEFGHIJKLMNOP");
  holder.SetSize(10);
  EXPECT_TRUE(holder.Fixed());
  EXPECT_STREQ(holder.Text(), "ABCDEFGHI");
  holder.SetText("0123456789ABC");
  EXPECT_STREQ(holder.Text(), "012345678");  // at most 9 characters
  const char* buffer = holder.Text();
  holder.Clear();
  EXPECT_EQ(holder.Text(), buffer);
  EXPECT_STREQ(holder.Text(), "");
  holder.SetSize(10);  // same size: only marks it fixed
  EXPECT_EQ(holder.Text(), buffer);
  holder.SetSize(0);
  EXPECT_FALSE(holder.Fixed());
  holder.Clear();
  EXPECT_EQ(holder.Text(), nullptr);
  TLPStr created(4);
  created.SetText("XYZW");
  EXPECT_STREQ(created.Text(), "XYZ");
}

TEST(TLPStr, StreamsAndPersistence) {
  TLPStr holder(8);
  std::istringstream shortText("1234567");
  EXPECT_TRUE(holder.LoadFromStream(shortText));
  EXPECT_STREQ(holder.Text(), "1234567");
  std::istringstream longText("12345678");
  EXPECT_FALSE(holder.LoadFromStream(longText));  // Line too long: the read filled the buffer
  EXPECT_STREQ(holder.Text(), "1234567");
  std::ostringstream out;
  holder.SaveToStream(out);
  EXPECT_EQ(out.str(), "1234567");

  TLPStr plain;
  plain.SetText("AB");
  EXPECT_EQ(plain.WritePChar(), (std::vector<uint8_t>{10, 3, 0, 0, 0, 'A', 'B', 0}));
  TLPStr copy;
  copy.ReadPChar(plain.WritePChar());
  EXPECT_STREQ(copy.Text(), "AB");
  copy.ReadPChar(std::vector<uint8_t>{10, 0, 0, 0, 0});
  EXPECT_STREQ(copy.Text(), "AB");
  EXPECT_TRUE(TLPStr().WritePChar().empty());
}

}  // namespace
}  // namespace kvx
