// Blanking and formatting through TEraseThread against the virtual recorders: the
// thread follows the unit, reports progress and OnEraseDone from its own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/event.h"
#include "tests/scsi/recorder_fixture.h"

namespace kvx::scsi::testing {
namespace {

class Blanking : public RecorderTest {
 protected:
  void StartUnit(const std::string& media, const std::string& extra = "",
                 const std::string& product = "VIRTUAL RECORDER") {
    Start("[Unit0]\nVendor=KVX\nProduct=" + product + "\nRevision=1.00\nMedia=" + media +
          "\nState=appendable\nFast=1\nImage=" + ImagePath() + "\n" + extra);
    device->SetOnEraseDone([this](TSCSIDevice* sender, bool withError, const std::string& error) {
      EXPECT_EQ(sender, device.get());
      doneCalls++;
      doneWithError = withError;
      doneError = error;
      progressAtDone = sender->EraseProgress();
      done.Set();
    });
    // The polling waits advance the recorders' clock and note each progress shown (a
    // wait comes in one-second slices, between which the thread looks at its stop request).
    device->SetSleepFunction([this](uint32_t ms) {
      {
        std::lock_guard<std::mutex> guard(seenLock);
        const int progress = device->EraseProgress();
        if (progressSeen.empty() || progressSeen.back() != progress) progressSeen.push_back(progress);
        sleepsSeen.push_back(ms);
      }
      clock.Advance(ms);
    });
  }
  // Waits for the thread to finish its work.
  void WaitForEnd() {
    ASSERT_TRUE(done.Wait(60000));
    while (device->Erasing()) std::this_thread::yield();
  }
  std::vector<int> Progress() {
    std::lock_guard<std::mutex> guard(seenLock);
    return progressSeen;
  }

  Event done;
  std::atomic<int> doneCalls{0};
  std::atomic<bool> doneWithError{false};
  std::string doneError;  // read once done is set
  std::atomic<int> progressAtDone{-1};
  std::mutex seenLock;
  std::vector<int> progressSeen;
  std::vector<uint32_t> sleepsSeen;
};

TEST_F(Blanking, ACDRWIsBlankedWithProgressAndOnEraseDone) {
  StartUnit("CD-RW", "BlankTime=60000\n");
  EXPECT_TRUE(device->Erase(BlankType::Minimal));
  // The GUI reads the progress while the thread works.
  int shown = 0;
  while (!done.Wait(0)) shown = std::max(shown, device->EraseProgress());
  WaitForEnd();
  EXPECT_EQ(doneCalls.load(), 1);
  EXPECT_FALSE(doneWithError.load());
  EXPECT_EQ(progressAtDone.load(), 100);
  EXPECT_EQ(device->EraseProgress(), 0);
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON CD-RW AT 48X");
  // Busy for 60 s: disc information polled every 5 s (x += 5), 150 s expected.
  const std::vector<int> progress = Progress();
  ASSERT_GE(progress.size(), 12u);
  EXPECT_EQ(progress[0], 0);
  EXPECT_EQ(progress[1], 3);   // 5 of 150 s
  EXPECT_EQ(progress[11], 37);  // 55 of 150 s
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  const aspi::Medium disc = Unit().DiscState();
  EXPECT_TRUE(disc.Empty());
  EXPECT_TRUE(ReadImage().empty());
  ASSERT_TRUE(device->ReadDiscInfo());
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Blank);
  // The unit is back to 2X writing and unlocked.
  EXPECT_EQ(device->GetCurrentWriteSpeed(), 2);
  EXPECT_TRUE(device->LoadEject(true));
}

TEST_F(Blanking, ProgressFollowsThePollingNotTheUnit) {
  // A long-write unit that never becomes ready: 2 s polls against 150 s.
  StartUnit("CD-RW", "BlankTime=100000000\n", "DVD-RW  DVR-104");
  ASSERT_TRUE(device->LongWriteUnit());
  EXPECT_TRUE(device->Erase(BlankType::Minimal));
  WaitForEnd();
  const std::vector<int> progress = Progress();
  ASSERT_GE(progress.size(), 76u);
  EXPECT_EQ(progress[74], 99);   // 148 s
  EXPECT_EQ(progress[75], 100);  // after 75 two-second waits
  for (int shown : progress) EXPECT_LE(shown, 100);
  EXPECT_EQ(doneError, "ERASE TIMEOUT [NOT READY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)]");
  EXPECT_EQ(doneCalls.load(), 1);
}

TEST_F(Blanking, DVDPlusRWIsFormatted) {
  StartUnit("DVD+RW", "FormatTime=30000\n");
  EXPECT_TRUE(device->Erase(BlankType::WholeDisc));
  WaitForEnd();
  EXPECT_FALSE(doneWithError.load());
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON DVD+RW AT 18X");
  const aspi::Medium disc = Unit().DiscState();
  EXPECT_TRUE(disc.formatted);
  EXPECT_EQ(disc.recordedEnd, 0u);
  std::vector<uint8_t> data(2048, 0x5A);
  EXPECT_TRUE(device->Write10(1000, 1, 0x50, data));
}

TEST_F(Blanking, DVDRAMIsFormattedWithoutSpeedOrWriteParameters) {
  StartUnit("DVD-RAM", "FormatTime=30000\n");
  device->SetDebugWindow(nullptr);
  EXPECT_TRUE(device->Erase(BlankType::WholeDisc));
  WaitForEnd();
  EXPECT_FALSE(doneWithError.load());
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON DVD-RAM AT 1X");
  EXPECT_TRUE(Unit().DiscState().formatted);
  // No disc-information polls (5 s): the thread waits with test and sense polls only (2 s).
  uint32_t slept = 0;
  for (uint32_t ms : sleepsSeen) slept += ms;
  EXPECT_GT(slept, 0u);
  EXPECT_EQ(slept % 2000, 0u);
}

TEST_F(Blanking, ADVDRWMinimalBlankIsExpectedInTwoMinutes) {
  StartUnit("DVD-RW", "BlankTime=60000\n");
  EXPECT_TRUE(device->Erase(BlankType::Minimal));
  WaitForEnd();
  const std::vector<int> progress = Progress();
  ASSERT_GE(progress.size(), 2u);
  EXPECT_EQ(progress[1], 4);  // 5 of 120 s
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON DVD-RW AT 18X");
}

TEST_F(Blanking, ARejectedBlankReportsWithErrorAtOnce) {
  StartUnit("CD-R");
  EXPECT_FALSE(device->Erase(BlankType::Minimal));
  EXPECT_EQ(doneCalls.load(), 1);
  EXPECT_TRUE(doneWithError.load());
  EXPECT_FALSE(device->Erasing());
  ASSERT_EQ(debugLines.size(), 2u);
  EXPECT_EQ(debugLines[1].rfind("<<< BLANK", 0), 0u);
  EXPECT_NE(debugLines[1].find("ILLEGAL REQUEST (INCOMPATIBLE MEDIUM INSTALLED)"), std::string::npos);
}

TEST_F(Blanking, WithoutADiscNothingStartsAndTheUnitsAnswerIsReported) {
  StartUnit("none");
  EXPECT_FALSE(device->Erase(BlankType::Minimal));
  EXPECT_EQ(doneCalls.load(), 1);
  EXPECT_EQ(doneError, "NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)");
  EXPECT_TRUE(debugLines.empty());
}

TEST_F(Blanking, OneBlankingAtATime) {
  StartUnit("CD-RW", "BlankTime=100000000\n");
  Event release;
  device->SetSleepFunction([this, &release](uint32_t ms) {
    release.Wait();  // the thread stays in its first poll until the second call was made
    clock.Advance(ms);
  });
  EXPECT_TRUE(device->Erase(BlankType::Minimal));
  EXPECT_TRUE(device->Erasing());
  EXPECT_FALSE(device->Erase(BlankType::Minimal));
  release.Set();
  WaitForEnd();
  EXPECT_EQ(doneCalls.load(), 1);
}

TEST_F(Blanking, AFailureInTheThreadIsLoggedAndEndsTheBlankingWithItsError) {
  StartUnit("CD-RW", "BlankTime=60000\n");
  std::atomic<bool> thrown{false};
  device->SetSleepFunction([this, &thrown](uint32_t ms) {
    if (!thrown.exchange(true)) throw std::runtime_error("clock stopped");
    clock.Advance(ms);
  });
  EXPECT_TRUE(device->Erase(BlankType::Minimal));
  WaitForEnd();
  EXPECT_EQ(doneError, "ERASE FAILURE");
  EXPECT_EQ(progressAtDone.load(), 100);
  EXPECT_NE(std::find(debugLines.begin(), debugLines.end(), "<<< ERASE FAILURE: clock stopped"), debugLines.end());
  // The unit was given back: once the disc is blank, the next blanking starts (and
  // joins the last thread).
  clock.Advance(120000);
  done.Reset();
  EXPECT_TRUE(device->Erase(BlankType::Minimal));
  WaitForEnd();
  EXPECT_EQ(doneCalls.load(), 2);
}

// The device going stops a blanking that would last 4500 s: its thread sees the stop
// request within a second of waiting and is joined.
TEST_F(Blanking, DestroyingTheDeviceStopsTheThreadWithinASecond) {
  StartUnit("CD-RW", "BlankTime=100000000\n");
  Event waiting, release;
  std::atomic<uint32_t> slept{0};
  device->SetOnEraseDone(nullptr);
  device->SetSleepFunction([&](uint32_t ms) {
    waiting.Set();
    release.Wait();
    slept += ms;
    clock.Advance(ms);
  });
  EXPECT_TRUE(device->Erase(BlankType::WholeDisc));
  ASSERT_TRUE(waiting.Wait(60000));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    release.Set();
  });
  device.reset();
  releaser.join();
  EXPECT_LE(slept.load(), 1000u);  // the slice under way when the device went
}

}  // namespace
}  // namespace kvx::scsi::testing
