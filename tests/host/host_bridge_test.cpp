#include <gtest/gtest.h>

#include "host/host_bridge.h"
#include "tests/host/recording_runtime.h"

namespace kvx {
namespace {

using kvxtest::Runtime;
using Calls = std::vector<std::string>;

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override {
    HostEnd();  // every case starts with a closed link
    Runtime() = {};
  }
};

TEST_F(Bridge, FirstCommandOpensTheLinkOnceWithBytesTwoAndZero) {
  HostCommand("BIBLI,disque,KVXOUTIL.wdl/CR");
  HostCommand("PROJET,KVXOUTIL.WDP");
  EXPECT_EQ(Runtime().calls, (Calls{"INIT", "CMD BIBLI,disque,KVXOUTIL.wdl/CR", "CMD PROJET,KVXOUTIL.WDP"}));
  EXPECT_EQ(Runtime().linkAtInit[1], 2);
  EXPECT_EQ(Runtime().linkAtInit[2], 0);
  HostEnd();
  HostEnd();  // a closed link is not closed twice
  HostCommand("MULTITACHE");
  EXPECT_EQ(Runtime().calls, (Calls{"INIT", "CMD BIBLI,disque,KVXOUTIL.wdl/CR", "CMD PROJET,KVXOUTIL.WDP", "TERM",
                                    "INIT", "CMD MULTITACHE"}));
}

TEST_F(Bridge, CloseSendsFermeFenFirstAndKeepsTheCode) {
  Runtime().codes = {"B01", "XXX", "YYY"};
  HostCommand("ECRAN,SAISIE");
  HostCommand("FERME");
  EXPECT_EQ(LastButtonCode(), "B01");
  EXPECT_EQ(Runtime().calls, (Calls{"INIT", "CMD ECRAN,SAISIE", "CMD EX\xE9" "CUTE(\"FermeFen\")", "CMD FERME"}));
}

TEST_F(Bridge, OpenSendsOuvrefenWithTheUpperCaseName) {
  HostCommand("Ouvre,FEN_Progress.wdw");
  EXPECT_EQ(Runtime().calls,
            (Calls{"INIT", "CMD EX\xE9" "CUTE(\"OUVREFEN\",\"FEN_PROGRESS\")", "CMD Ouvre,FEN_Progress.wdw"}));
}

TEST_F(Bridge, OnlyInputsChangeTheButtonCode) {
  Runtime().codes = {"B04", "ZZZ", "esc"};
  HostCommand("ecran,saisie,xyz");
  EXPECT_EQ(LastButtonCode(), "B04");
  HostCommand("info,bonjour");
  EXPECT_EQ(LastButtonCode(), "B04");
  HostCommand("ECRAN,SAISIE");
  EXPECT_EQ(LastButtonCode(), "esc");
  EXPECT_EQ(Runtime().calls[1], "CMD ECRAN,SAISIE");
}

TEST_F(Bridge, CodeStopsAtCarriageReturnOrNul) {
  Runtime().codes = {"B\rX", ""};
  HostCommand("ECRAN,SAISIE");
  EXPECT_EQ(LastButtonCode(), "B");
  HostCommand("ECRAN,SAISIE");
  EXPECT_EQ(LastButtonCode(), "");
}

TEST_F(Bridge, ResultOfEachCommandIsKept) {
  Runtime().results = {0, 7};
  HostCommand("OUINON,Continuer ?");
  EXPECT_EQ(LastHostResult(), 0);
  HostCommand("OUINON,Continuer ?");
  EXPECT_EQ(LastHostResult(), 7);
}

TEST_F(Bridge, ReleaseContextSendsZero) {
  HostReleaseContext();
  EXPECT_EQ(Runtime().calls, (Calls{"HFTERMINE 0"}));
}

TEST_F(Bridge, LongCommandGoesOutAs254Bytes) {
  HostCommand("info," + std::string(400, 'a'));
  EXPECT_EQ(Runtime().calls.back(), "CMD info," + std::string(249, 'a'));
}

}  // namespace
}  // namespace kvx
