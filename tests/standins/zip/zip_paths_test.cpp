#include <gtest/gtest.h>

#include "standins/zip/item_list.h"
#include "standins/zip/zip_paths.h"

namespace kvxzip {
namespace {

using Items = std::vector<std::string>;

TEST(ItemList, SplitsAtBlanksAndKeepsQuotedBlanks) {
  EXPECT_EQ(SplitItemList("A.FIC  B.NDX"), (Items{"A.FIC", "B.NDX"}));
  EXPECT_EQ(SplitItemList("\"/data/My Files/a b.txt\" c"), (Items{"/data/My Files/a b.txt", "c"}));
  EXPECT_EQ(SplitItemList("\"\" x "), (Items{"", "x"}));
  EXPECT_EQ(SplitItemList(""), Items{});
  EXPECT_EQ(SplitItemList("\"unclosed quote"), Items{"unclosed quote"});
}

TEST(MemberNames, OnlyNamesThatStayInsideAreSafe) {
  for (const char* name : {"a.txt", "DIR/SUB/x.FIC", "dir\\file", "..a", "a..", "dir/...x", "./a"})
    EXPECT_TRUE(IsSafeMemberName(name)) << name;
  for (const char* name : {"", "/etc/passwd", "\\windows\\x", "../x", "a/../../x", "a\\..\\x", "C:x", "C:/x",
                           "a/b:stream", "..", "a/...", "a/.. /b", "a/. ./b"})
    EXPECT_FALSE(IsSafeMemberName(name)) << name;
}

TEST(Paths, NormaliseJoinAndSplit) {
  EXPECT_EQ(NormalizePath("/a/./b/../c//d/"), "/a/c/d");
  EXPECT_EQ(NormalizePath("/../../x"), "/x");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
  EXPECT_EQ(ParentOf("/a/b/c"), "/a/b");
  EXPECT_EQ(ParentOf("/a"), "/");
  EXPECT_EQ(LastComponent("/a/b/*.FIC"), "*.FIC");
  EXPECT_EQ(MemberNameFor("/srv/data/x.fic", false), "srv/data/x.fic");
}

}  // namespace
}  // namespace kvxzip
