#include <gtest/gtest.h>

#include "host/host_bridge.h"
#include "tests/host/recording_runtime.h"

namespace kvx {
namespace {

using kvxtest::Runtime;
using Calls = std::vector<std::string>;

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override { Runtime() = {}; }
  HostBridge bridge_;
};

TEST_F(Bridge, FirstCommandOpensTheLinkOnceWithBytesTwoAndZero) {
  bridge_.Command("BIBLI,disque,KVXOUTIL.wdl/CR");
  bridge_.Command("PROJET,KVXOUTIL.WDP");
  EXPECT_EQ(Runtime().calls, (Calls{"INIT", "CMD BIBLI,disque,KVXOUTIL.wdl/CR", "CMD PROJET,KVXOUTIL.WDP"}));
  EXPECT_EQ(Runtime().linkAtInit[1], 2);
  EXPECT_EQ(Runtime().linkAtInit[2], 0);
  bridge_.End();
  bridge_.End();  // a closed link is not closed twice
  bridge_.Command("MULTITACHE");
  EXPECT_EQ(Runtime().calls, (Calls{"INIT", "CMD BIBLI,disque,KVXOUTIL.wdl/CR", "CMD PROJET,KVXOUTIL.WDP", "TERM",
                                    "INIT", "CMD MULTITACHE"}));
}

TEST_F(Bridge, CloseSendsFermeFenFirstAndKeepsTheCode) {
  Runtime().codes = {"B01", "XXX", "YYY"};
  bridge_.Command("ECRAN,SAISIE");
  bridge_.Command("FERME");
  EXPECT_EQ(bridge_.LastButtonCode(), "B01");
  EXPECT_EQ(Runtime().calls, (Calls{"INIT", "CMD ECRAN,SAISIE", "CMD EX\xE9" "CUTE(\"FermeFen\")", "CMD FERME"}));
}

TEST_F(Bridge, OpenSendsOuvrefenWithTheUpperCaseName) {
  bridge_.Command("Ouvre,FEN_Progress.wdw");
  EXPECT_EQ(Runtime().calls,
            (Calls{"INIT", "CMD EX\xE9" "CUTE(\"OUVREFEN\",\"FEN_PROGRESS\")", "CMD Ouvre,FEN_Progress.wdw"}));
}

TEST_F(Bridge, OnlyInputsChangeTheButtonCode) {
  Runtime().codes = {"B04", "ZZZ", "esc"};
  bridge_.Command("ecran,saisie,xyz");
  EXPECT_EQ(bridge_.LastButtonCode(), "B04");
  bridge_.Command("info,bonjour");
  EXPECT_EQ(bridge_.LastButtonCode(), "B04");
  bridge_.Command("ECRAN,SAISIE");
  EXPECT_EQ(bridge_.LastButtonCode(), "esc");
  EXPECT_EQ(Runtime().calls[1], "CMD ECRAN,SAISIE");
}

TEST_F(Bridge, CodeStopsAtCarriageReturnOrNul) {
  Runtime().codes = {"B\rX", ""};
  bridge_.Command("ECRAN,SAISIE");
  EXPECT_EQ(bridge_.LastButtonCode(), "B");
  bridge_.Command("ECRAN,SAISIE");
  EXPECT_EQ(bridge_.LastButtonCode(), "");
}

TEST_F(Bridge, ResultOfEachCommandIsKept) {
  Runtime().results = {0, 7};
  bridge_.Command("OUINON,Continuer ?");
  EXPECT_EQ(bridge_.LastResult(), 0);
  bridge_.Command("OUINON,Continuer ?");
  EXPECT_EQ(bridge_.LastResult(), 7);
}

TEST_F(Bridge, ReleaseContextSendsZero) {
  bridge_.ReleaseContext();
  EXPECT_EQ(Runtime().calls, (Calls{"HFTERMINE 0"}));
}

// Each bridge keeps its own link and its own last code.
TEST_F(Bridge, BridgesKeepTheirOwnLinkAndCode) {
  Runtime().codes = {"B01", "B02"};
  HostBridge other;
  bridge_.Command("ECRAN,SAISIE");
  other.Command("ECRAN,SAISIE");
  EXPECT_EQ(bridge_.LastButtonCode(), "B01");
  EXPECT_EQ(other.LastButtonCode(), "B02");
  other.End();
  bridge_.Command("MULTITACHE");
  EXPECT_EQ(Runtime().calls,
            (Calls{"INIT", "CMD ECRAN,SAISIE", "INIT", "CMD ECRAN,SAISIE", "TERM", "CMD MULTITACHE"}));
}

TEST_F(Bridge, LongCommandGoesOutAs254Bytes) {
  bridge_.Command("info," + std::string(400, 'a'));
  EXPECT_EQ(Runtime().calls.back(), "CMD info," + std::string(249, 'a'));
}

// Each verb's text on the wire, in its usual spelling and in the ones some callers keep;
// the hooks of OUVRE and FERME come first as for any command.
TEST_F(Bridge, VerbsWriteTheirCommandTexts) {
  bridge_.OpenLibrary("disque,KVXOUTIL.wdl/CR");
  bridge_.OpenProject("KVXOUTIL.WDP");
  bridge_.OpenWindow("KVXOUTIL.WDW");
  bridge_.OpenWindow("FEN_Progress.wdw", VerbCase::kCapitalised);
  bridge_.WaitForInput();
  bridge_.Display("JAUGE_JAUGE1", "42");
  bridge_.Info("Fini.");
  bridge_.Info(" Fini.", VerbCase::kUpper);
  bridge_.Info("Fini.", VerbCase::kLower);
  bridge_.Error("Rat\xE9.");
  bridge_.Error("Rat\xE9.", VerbCase::kCapitalised);
  bridge_.Multitask();
  bridge_.Multitask(-2);
  bridge_.Multitask(-1, VerbCase::kCapitalised);
  bridge_.CallProcedure("Charge", "C:\\KVX\\CLUF.RTF");
  bridge_.CloseWindow();
  EXPECT_EQ(Runtime().calls,
            (Calls{"INIT", "CMD BIBLI,disque,KVXOUTIL.wdl/CR", "CMD PROJET,KVXOUTIL.WDP",
                   "CMD EX\xE9" "CUTE(\"OUVREFEN\",\"KVXOUTIL\")", "CMD OUVRE,KVXOUTIL.WDW",
                   "CMD EX\xE9" "CUTE(\"OUVREFEN\",\"FEN_PROGRESS\")", "CMD Ouvre,FEN_Progress.wdw", "CMD ECRAN,SAISIE",
                   "CMD AFFICHE,JAUGE_JAUGE1=42", "CMD Info,Fini.", "CMD INFO, Fini.", "CMD info,Fini.",
                   "CMD ERREUR,Rat\xE9.", "CMD Erreur,Rat\xE9.", "CMD MULTITACHE", "CMD MULTITACHE,-2",
                   "CMD Multitache,-1", "CMD EX\xE9" "CUTE(\"Charge\",\"C:\\KVX\\CLUF.RTF\")",
                   "CMD EX\xE9" "CUTE(\"FermeFen\")", "CMD FERME"}));
}

// The answers of OUINON and Handle come back from the verbs themselves.
TEST_F(Bridge, QuestionAndHandleReturnTheHostResult) {
  Runtime().results = {0, 5, 0x1234};
  EXPECT_FALSE(bridge_.AskYesNo("Continuer ?"));
  EXPECT_TRUE(bridge_.AskYesNo("Continuer ?"));
  EXPECT_EQ(bridge_.WindowHandle("FEN_Progress"), 0x1234);
  EXPECT_EQ(Runtime().calls,
            (Calls{"INIT", "CMD OUINON,Continuer ?", "CMD OUINON,Continuer ?", "CMD Handle,FEN_Progress"}));
}

}  // namespace
}  // namespace kvx
