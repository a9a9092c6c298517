#include <gtest/gtest.h>

#include "host/host_rules.h"

namespace kvx {
namespace {

TEST(TextForms, FoldAccentsChangesOnlyTheListedLetters) {
  EXPECT_EQ(FoldAccents("\xC4\xC5\xE0\xE1\xE2\xE4\xE5"), "aaaaaaa");
  EXPECT_EQ(FoldAccents("\xC7\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"), "cceeeeiiii");
  EXPECT_EQ(FoldAccents("\xD6\xF2\xF4\xF6\xDC\xF9\xFA\xFB"), "oooouuuu");
  // É, È, ã, ñ, ó, õ and ü stay as they are.
  EXPECT_EQ(FoldAccents("\xC9\xC8\xE3\xF1\xF3\xF5\xFC"), "\xC9\xC8\xE3\xF1\xF3\xF5\xFC");
}

TEST(TextForms, SourceLiteralsAreWindows1252) {
  EXPECT_EQ(std::string("é"), "\xE9");
  EXPECT_EQ(PlainUpper("réindexer à ÉTÉ"), "REINDEXER A \xC9T\xC9");
}

TEST(TextForms, RemoveBlanksDropsSpacesAndNuls) {
  EXPECT_EQ(RemoveBlanks(std::string("a b\0c  d", 8)), "abcd");
  EXPECT_EQ(RemoveBlanks("   "), "");
}

TEST(CommandRules, ExecuteCallGetsE9AsItsSecondE) {
  EXPECT_EQ(AdjustCommand("EXECUTE(\"FermeFen\")"), "EX\xE9" "CUTE(\"FermeFen\")");
  EXPECT_EQ(AdjustCommand("execute(\"Charge\",\"C:\\A.RTF\")"), "ex\xE9" "cute(\"Charge\",\"C:\\A.RTF\")");
}

TEST(CommandRules, ExecuteWithoutParenthesisBecomesACallWithoutBlanks) {
  EXPECT_EQ(AdjustCommand("EXECUTE,Proc Name"), "ex\xE9" "cute(\"ProcName\")");
  EXPECT_EQ(AdjustCommand("execute Foo Bar"), "ex\xE9" "cute(\"FooBar\")");
  // With a dot the text goes out unchanged.
  EXPECT_EQ(AdjustCommand("EXECUTE,Proc.wdw"), "EXECUTE,Proc.wdw");
}

TEST(CommandRules, ExecuterIsNeverRewritten) {
  EXPECT_EQ(AdjustCommand("info,executer(\"x\")"), "info,executer(\"x\")");
}

TEST(CommandRules, QuotesBecomeApostrophesOutsideExecute) {
  EXPECT_EQ(AdjustCommand("info,Le \"fichier\""), "info,Le 'fichier'");
  EXPECT_EQ(AdjustCommand("EXECUTE(\"Charge\",\"a\")"), "EX\xE9" "CUTE(\"Charge\",\"a\")");
  // PlainUpper folds accents: "éxécute" counts as EXECUTE for the quote rule.
  EXPECT_EQ(AdjustCommand("info,\xE9x\xE9" "cute \"a\""), "info,\xE9x\xE9" "cute \"a\"");
}

TEST(CommandRules, InputIsNormalised) {
  EXPECT_TRUE(IsInputCommand("ecran,saisie,xyz"));
  EXPECT_EQ(AdjustCommand("ecran,saisie,xyz"), "ECRAN,SAISIE");
  EXPECT_FALSE(IsInputCommand("ECRAN,SAISI"));
}

TEST(CommandRules, HooksOfOpenAndClose) {
  EXPECT_EQ(HookCommand("FERME"), "EXECUTE(\"FermeFen\")");
  EXPECT_EQ(HookCommand("fermer"), "EXECUTE(\"FermeFen\")");
  EXPECT_EQ(HookCommand("Ouvre,FEN_Progress.wdw"), "EXECUTE(\"OUVREFEN\",\"FEN_PROGRESS\")");
  EXPECT_EQ(HookCommand("OUVRE,ABC"), "EXECUTE(\"OUVREFEN\",\"ABC\")");
  EXPECT_EQ(HookCommand("OUVRE"), "EXECUTE(\"OUVREFEN\",\"\")");
  EXPECT_EQ(HookCommand("OUVRE.WDW"), "EXECUTE(\"OUVREFEN\",\"\")");
  EXPECT_FALSE(HookCommand("AFFICHE,JAUGE_JAUGE1=5").has_value());
}

TEST(CommandRules, LongTextsAreCutTo254Bytes) {
  const std::string text = "info," + std::string(300, 'x');
  EXPECT_EQ(AdjustCommand(text), text.substr(0, 254));
  const std::string exact = "info," + std::string(250, 'y');  // 255 characters
  EXPECT_EQ(AdjustCommand(exact).size(), 254u);
  const std::string shorter = "info," + std::string(249, 'y');  // 254 characters stay whole
  EXPECT_EQ(AdjustCommand(shorter), shorter);
}

}  // namespace
}  // namespace kvx
