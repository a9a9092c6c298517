#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "base/folders.h"
#include "host/param_files.h"
#include "host/profile.h"

namespace kvx {
namespace {

class ParamFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "kvx_param_" + std::to_string(counter_++) + ".DTA";
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void Write(const std::string& content) { std::ofstream(path_, std::ios::binary) << content; }

  std::string path_;
  static inline int counter_ = 0;
};

TEST_F(ParamFile, FirstFieldKeepsInnerBlanksAndDropsTrailingOnes) {
  Write("[COMPOSANTS]\r\nREPERTOIREF=C:\\DATA\\BASES ,X\r\nUSER=  KVX  \r\n");
  EXPECT_EQ(ReadFirstField(path_, "REPERTOIREF", "COMPOSANTS"), "C:\\DATA\\BASES ");
  EXPECT_EQ(ReadFirstField(path_, "repertoiref", "composants"), "C:\\DATA\\BASES ");
  EXPECT_EQ(ReadFirstField(path_, "USER", "COMPOSANTS"), "KVX");
}

TEST_F(ParamFile, MissingOrBlankValuesAreEmpty) {
  Write("[AUTRE]\r\nREPERTOIREF=X\r\n[COMPOSANTS]\r\nUSER=   \r\nVERSION=\xFF\xFF\r\n");
  EXPECT_EQ(ReadFirstField(path_, "REPERTOIREF", "COMPOSANTS"), "");
  EXPECT_EQ(ReadFirstField(path_, "USER", "COMPOSANTS"), "");
  EXPECT_EQ(ReadFirstField(path_, "VERSION", "COMPOSANTS"), "");
  EXPECT_EQ(ReadFirstField(path_ + ".none", "USER", "COMPOSANTS"), "");
  Write("");
  EXPECT_EQ(ReadFirstField(path_, "USER", "COMPOSANTS"), "");
}

TEST_F(ParamFile, FirstLineOfAKeyWins) {
  Write("[COMPOSANTS]\r\nVERSION=12,a\r\nVERSION=13\r\n");
  EXPECT_EQ(ReadFirstField(path_, "VERSION", "COMPOSANTS"), "12");
}

TEST_F(ParamFile, FieldTableOfFortyFieldsKeepsThirtyTwo) {
  std::string value;
  for (int i = 1; i <= 40; ++i) value += "f" + std::to_string(i) + ",";
  Write("[COMPOSANTS]\r\nLISTE=" + value + "\r\n");
  table_param table;
  table.fill("stale");
  ReadFieldTable(path_, "LISTE", "COMPOSANTS", table);
  EXPECT_EQ(table[0], "32");
  EXPECT_EQ(table[1], "f1");
  EXPECT_EQ(table[32], "f32");
}

TEST_F(ParamFile, FieldTableIsClearedWhenTheFileIsMissing) {
  table_param table;
  table.fill("stale");
  ReadFieldTable(path_ + ".none", "VERSION", "COMPOSANTS", table);
  for (const std::string& entry : table) EXPECT_EQ(entry, "");
}

TEST_F(ParamFile, LongValueIsReadWhole) {
  const std::string longValue(300, 'x');
  Write("[COMPOSANTS]\r\nREPERTOIREF=" + longValue + ",,\r\n");
  EXPECT_EQ(ReadFirstField(path_, "REPERTOIREF", "COMPOSANTS"), longValue);
  table_param table;
  ReadFieldTable(path_, "REPERTOIREF", "COMPOSANTS", table);
  EXPECT_EQ(table[1], longValue);
  EXPECT_EQ(table[0], "01");
}

TEST_F(ParamFile, WriteFieldValueAddsSevenEmptyFields) {
  Write("[COMPOSANTS]\r\nREPERTOIREF=old,,\r\nUSER=KVX\r\n");
  ASSERT_TRUE(WriteFieldValue(path_, "VERSION", "12"));
  ASSERT_TRUE(WriteFieldValue(path_, "REPERTOIREF", "C:\\NEW"));
  EXPECT_EQ(ReadINIString(path_, "COMPOSANTS", "REPERTOIREF", "?"), "C:\\NEW,,,,,,,");
  EXPECT_EQ(ReadINIString(path_, "COMPOSANTS", "VERSION", "?"), "12,,,,,,,");
  EXPECT_EQ(ReadINIString(path_, "COMPOSANTS", "USER", "?"), "KVX");
}

TEST(SplitFieldTable, EmptyFieldsTakeTheirIndex) {
  table_param table;
  SplitFieldTable("a,,b", table);
  EXPECT_EQ(table[0], "03");
  EXPECT_EQ(table[1], "a");
  EXPECT_EQ(table[2], "");
  EXPECT_EQ(table[3], "b");
  SplitFieldTable("x;y;;", table, ";");
  EXPECT_EQ(table[0], "02");
  SplitFieldTable("p;q,r", table);  // the separator passed is used for that call only
  EXPECT_EQ(table[1], "p;q");
  SplitFieldTable(",,,", table);
  EXPECT_EQ(table[0], "00");
}

TEST(ParamFileFor, FromSourcesFic01AndOutils) {
  const auto all = [](const std::string&) { return true; };
  EXPECT_EQ(ParamFileFor("X:\\APP\\SOURCES\\TOOLS", all), "X:\\APP\\FIC01\\PARAM.DTA");
  EXPECT_EQ(ParamFileFor("X:\\APP\\Sources", all), "X:\\APP\\FIC01\\PARAM.DTA");
  EXPECT_EQ(ParamFileFor("X:\\APP\\FIC01", all), "X:\\APP\\FIC01\\PARAM.DTA");
  EXPECT_EQ(ParamFileFor("X:\\APP\\fic01", all), "X:\\APP\\fic01\\PARAM.DTA");
  EXPECT_EQ(ParamFileFor("X:\\APP\\OUTILS", all), "X:\\APP\\OUTILS\\FIC01\\PARAM.DTA");
  EXPECT_EQ(ParamFileFor("C:\\", all), "C:\\FIC01\\PARAM.DTA");
}

TEST(ParamFileFor, ToolboxFolderBesideTheDataFolderFindsItsSibling) {
  const auto only = [](std::string wanted) { return [wanted](const std::string& path) { return path == wanted; }; };
  EXPECT_EQ(ParamFileFor("X:\\APP\\OUTILS", only("X:\\APP\\FIC01\\PARAM.DTA")), "X:\\APP\\FIC01\\PARAM.DTA");
  // Nothing anywhere: the folder's own FIC01, as before.
  EXPECT_EQ(ParamFileFor("X:\\APP\\OUTILS", only("")), "X:\\APP\\OUTILS\\FIC01\\PARAM.DTA");
  EXPECT_EQ(ParamFileFor("C:\\", only("")), "C:\\FIC01\\PARAM.DTA");
}

}  // namespace
}  // namespace kvx
