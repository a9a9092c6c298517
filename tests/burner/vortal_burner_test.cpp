// The burner component writing real tracks into virtual recorders: what reaches the
// disc, the state the disc is left in, the commands around the data, the events, and
// every way a write can fail.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "burner/cache_thread.h"
#include "burner/iso_records.h"
#include "tests/burner/burner_rig.h"

namespace kvx::testing {
namespace {

constexpr uint8_t kWrite10 = 0x2A, kCloseTrackSession = 0x5B, kReserveTrack = 0x53, kSetStreaming = 0xB6,
                  kSendOpc = 0x54, kSynchronizeCache = 0x35, kSendDVDStructure = 0xBF, kFormatUnit = 0x04,
                  kModeSelect = 0x55;

uint32_t Be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

// --- The component ------------------------------------------------------------------------

TEST(VortalBurner, DefaultsAndSetterRules) {
  scsi::SCSITransportHub transport;
  BurnEngine engine(transport);
  TVortalBurner burner(engine);
  EXPECT_EQ(burner.CacheSize(), 4194304);
  EXPECT_TRUE(burner.WritePostGap());
  EXPECT_TRUE(burner.JolietFileSystem());
  EXPECT_TRUE(burner.FinalizeTrack());
  EXPECT_TRUE(burner.UnderrunProtection());
  EXPECT_FALSE(burner.FinalizeDisc());
  EXPECT_FALSE(burner.TestWrite());
  EXPECT_FALSE(burner.PerformOPC());
  EXPECT_FALSE(burner.ReplaceFile());
  EXPECT_FALSE(burner.DoDebug());
  EXPECT_FALSE(burner.Erasing());
  EXPECT_EQ(burner.ReadSpeed(), 0);
  EXPECT_EQ(burner.WriteSpeed(), 0);
  EXPECT_EQ(burner.DeviceBufferSize(), 0u);
  EXPECT_TRUE(burner.CheckCapacity());
  EXPECT_FALSE(burner.VerifyWrite());
  EXPECT_EQ(burner.Version(), "1.1.8");
  burner.SetVersion("1.1.6");  // what forms store
  EXPECT_EQ(burner.Version(), "1.1.8");

  burner.SetCacheSize(1000);
  EXPECT_EQ(burner.CacheSize(), 2097152);
  burner.SetCacheSize(2097151);
  EXPECT_EQ(burner.CacheSize(), 2097152);
  burner.SetCacheSize(4194305);
  EXPECT_EQ(burner.CacheSize(), 4194304);
  burner.SetCacheSize(3000000);
  EXPECT_EQ(burner.CacheSize(), 2998272);

  // A fresh component holds the root alone and builds an empty volume.
  EXPECT_EQ(burner.Image().Directories.size(), 1u);
  EXPECT_TRUE(burner.Image().Entries.empty());
  burner.BuildImage(true);
  EXPECT_EQ(burner.Image().ImageHeader.size(), 150u * kSectorSize);
  EXPECT_EQ(burner.GetTrackSize(), 300);
}

// --- Burns onto each kind of disc -----------------------------------------------------------

TEST_F(BurnerTest, CDRSessionIsClosedAndLeftAppendable) {
  Start("Media=CD-R\n");
  const std::string zip = Source("SauveKVX.zip", 700000, 'z');
  const std::string notes = Source("notes.txt", 3000, 'n');
  Build({zip, notes});
  ASSERT_EQ(burner->Image().StartSector, 0u);
  ASSERT_EQ(expectedTrack.size(), 494u * kSectorSize);  // header, 342 and 2 sectors
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(SameBytes(ImageSectors(0, 494), expectedTrack));
  const aspi::Medium disc = Disc();
  ASSERT_EQ(disc.tracks.size(), 1u);
  EXPECT_EQ(disc.tracks[0].size, 494u);
  EXPECT_EQ(disc.leadOuts.size(), 1u);
  EXPECT_FALSE(disc.finalised);
  EXPECT_EQ(disc.DiscStatus(), scsi::DiscState::Appendable);  // appendable

  // Every block went out as one WRITE (10) of up to 31 sectors at the next address.
  uint32_t lba = 0;
  for (const SentCommand& command : platform->Sent()) {
    if (command.Cdb[0] != kWrite10) continue;
    EXPECT_EQ(Be32(&command.Cdb[2]), lba);
    const uint32_t blocks = uint32_t{command.Cdb[7]} << 8 | command.Cdb[8];
    EXPECT_LE(blocks, 31u);
    EXPECT_NE(command.Thread, std::this_thread::get_id());
    lba += blocks;
  }
  EXPECT_EQ(lba, 494u);
  EXPECT_EQ(platform->Count(kCloseTrackSession), 1u);
  EXPECT_EQ(burner->BytesWritten(), 494 * kSectorSize);
  EXPECT_EQ(burner->CurrentFile(), "");
  EXPECT_TRUE(HasDebugLine(">>> STARTING WRITE PROCESS ON CD-R AT 48X"));
  std::lock_guard<std::mutex> guard(eventsLock);
  EXPECT_EQ(writeDone.size(), 1u);
  EXPECT_EQ(finalizing, 1);
  EXPECT_TRUE(finalizingBeforeDone);
  EXPECT_NE(writeDoneThreads[0], std::this_thread::get_id());  // the writer's thread
}

TEST_F(BurnerTest, SecondSessionLandsAtTheNextWritableAddress) {
  Start("Media=CD-R\n");
  Build({Source("first.bin", 5000, 'f')});
  ASSERT_EQ(Burn(), "");
  Build({Source("second.bin", 90000, 's')});
  const uint32_t start = burner->Image().StartSector;
  EXPECT_EQ(start, 300u + 11400u);  // after the first lead-out, lead-in and pre-gap
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(SameBytes(ImageSectors(start, expectedTrack.size() / kSectorSize), expectedTrack));
  const aspi::Medium disc = Disc();
  ASSERT_EQ(disc.tracks.size(), 2u);
  EXPECT_EQ(disc.tracks[1].start, start);
  EXPECT_EQ(disc.leadOuts.size(), 2u);
  EXPECT_FALSE(disc.finalised);
}

TEST_F(BurnerTest, FinalizeDiscClosesTheDisc) {
  Start("Media=CD-RW\n");
  burner->SetFinalizeDisc(true);
  Build({Source("a.bin", 10000)});
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(Disc().finalised);
  EXPECT_TRUE(SameBytes(ImageSectors(0, 300), expectedTrack));
}

TEST_F(BurnerTest, DVDMinusRReservesTheTrackAndEndsWithItsLeadOut) {
  Start("Media=DVD-R\n");
  Build({Source("a.bin", 2 * kCacheBlockBytes + 100)});
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(SameBytes(ImageSectors(0, 300), expectedTrack));
  const std::vector<SentCommand> sent = platform->Sent();
  const auto reserve = std::find_if(sent.begin(), sent.end(), [](const SentCommand& c) { return c.Cdb[0] == kReserveTrack; });
  ASSERT_NE(reserve, sent.end());
  EXPECT_EQ(Be32(&reserve->Cdb[5]), 301u);  // GetTrackSize + 1
  EXPECT_EQ(platform->Count(kSetStreaming), 1u);
  EXPECT_EQ(platform->Count(kSendDVDStructure), 1u);  // time stamp
  EXPECT_EQ(platform->Count(kCloseTrackSession), 0u);  // the flush writes the lead-out
  EXPECT_TRUE(Disc().finalised);
  // 16X DVD is 22160 kB/s, 126 CD factors, shown divided by 7.
  EXPECT_TRUE(HasDebugLine(">>> STARTING WRITE PROCESS ON DVD-R AT 18X"));
}

TEST_F(BurnerTest, DVDMinusRLeadOutOfALongWriteUnitIsWaitedFor) {
  Start("Media=DVD-R\nProduct=DVD-RW  DVR-104\nCloseTime=7000\n");
  Build({Source("a.bin", 1000)});
  const uint64_t before = clock.NowMs();
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(HasDebugLine(">>> WRITING LEAD-OUT (THIS CAN TAKE APPROXIMATELY 15-20 MINUTES)"));
  EXPECT_GE(clock.NowMs() - before, 7000u);
  EXPECT_TRUE(Disc().finalised);
}

TEST_F(BurnerTest, DVDPlusRTrackAndDiscAreClosed) {
  Start("Media=DVD+R\n");
  Build({Source("a.bin", 100000)});
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(SameBytes(ImageSectors(0, 300), expectedTrack));
  std::vector<std::vector<uint8_t>> closes;
  for (const SentCommand& command : platform->Sent())
    if (command.Cdb[0] == kCloseTrackSession) closes.push_back(command.Cdb);
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0][2], 0x01);  // the track
  EXPECT_EQ(closes[1][2], 0x05);  // then the disc
  EXPECT_TRUE(Disc().finalised);
}

TEST_F(BurnerTest, BlankDVDPlusRWIsFormattedThenWritten) {
  Start("Media=DVD+RW\n");
  Build({Source("a.bin", 100000)});
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(platform->Count(kFormatUnit), 1u);
  EXPECT_TRUE(SameBytes(ImageSectors(0, 300), expectedTrack));
  EXPECT_TRUE(Disc().formatted);
  // A formatted disc is written over without formatting again.
  platform->Clear();
  Build({Source("b.bin", 7000, 'b')});
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(platform->Count(kFormatUnit), 0u);
  EXPECT_TRUE(SameBytes(ImageSectors(0, 300), expectedTrack));
}

TEST_F(BurnerTest, TestWriteRecordsNothingAndClosesNothing) {
  Start("Media=CD-R\n");
  burner->SetTestWrite(true);
  burner->SetPerformOPC(true);
  Build({Source("a.bin", 100000)});
  EXPECT_EQ(Burn(), "");
  EXPECT_GT(platform->Count(kWrite10), 0u);
  EXPECT_EQ(platform->Count(kSendOpc), 0u);
  EXPECT_EQ(platform->Count(kCloseTrackSession), 0u);
  EXPECT_TRUE(Disc().Empty());
  EXPECT_TRUE(HasDebugLine(">>> TEST/DUMMY WRITE"));
}

TEST_F(BurnerTest, OpcIsSentWhenAsked) {
  Start("Media=CD-R\n");
  burner->SetPerformOPC(true);
  Build({Source("a.bin", 100)});
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(platform->Count(kSendOpc), 1u);
}

TEST_F(BurnerTest, ThrottledRecorderWithSmallCacheGetsEveryByte) {
  Start("Media=CD-R\nMaxWriteSpeed=4\nBufferSize=262144\n");
  burner->SetCacheSize(2097152);
  const std::string big = Source("big.bin", 6 * 1024 * 1024 + 77, 'b');
  Build({big, Source("tail.bin", 1, 't')});
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(SameBytes(ImageSectors(0, expectedTrack.size() / kSectorSize), expectedTrack));
  EXPECT_GT(platform->Count(0x5C), 0u);  // the buffer was polled
}

// --- Read-back ----------------------------------------------------------------------------

TEST_F(BurnerTest, VerificationReadsTheTrackBack) {
  Start("Media=CD-R\n");
  burner->SetVerifyWrite(true);
  Build({Source("a.bin", 100000)});
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(HasDebugLine(">>> VERIFYING WRITTEN DATA"));
  EXPECT_TRUE(HasDebugLine(">>> VERIFICATION SUCCESSFUL"));
  EXPECT_GE(platform->Count(0x28), 10u);  // READ (10) of 300 sectors, 31 at a time
  EXPECT_TRUE(burner->Image().ImageHeader.empty());
}

TEST_F(BurnerTest, VerificationMismatchBecomesTheError) {
  Start("Media=CD-R\n");
  burner->SetVerifyWrite(true);
  const std::string source = Source("a.bin", 100000);
  Build({source});
  // The source changes once its data is on the disc.
  burner->SetOnFinalizingTrack([&](TVortalBurner*) { Source("a.bin", 100000, 'x'); });
  EXPECT_EQ(Burn(), "VERIFY ERROR AT SECTOR 150 [DATA READ BACK DIFFERS]");
  EXPECT_TRUE(HasDebugLine("<<< VERIFY ERROR AT SECTOR 150 [DATA READ BACK DIFFERS]"));
  EXPECT_EQ(Disc().leadOuts.size(), 1u);  // the session itself was closed
}

TEST_F(BurnerTest, TheImageWaitsForTheReadBack) {
  Start("Media=CD-R\n");
  burner->SetVerifyWrite(true);
  Build({Source("a.bin", 100000)});
  Event reading, goOn;
  platform->SetHook([&](const uint8_t* cdb) {
    if (cdb[0] != 0x28 || reading.IsSet()) return;
    reading.Set();
    goOn.Wait();
  });
  done.Reset();
  ASSERT_TRUE(burner->StartBurn());
  ASSERT_TRUE(reading.Wait(60000));
  // A new image is begun while the writer reads the track back: it waits for it.
  std::atomic<bool> reset{false};
  std::thread gui([&] {
    burner->ResetImage(kDefaultMaxFiles, kDefaultMaxDirectories);
    reset = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(reset);
  goOn.Set();
  gui.join();
  ASSERT_TRUE(done.Wait(60000));
  burner->WaitForWriter();
  EXPECT_EQ(writeDone.back(), "");
  EXPECT_TRUE(HasDebugLine(">>> VERIFICATION SUCCESSFUL"));
}

TEST_F(BurnerTest, BuildingTwiceGivesTheImageOfOneBuild) {
  Start("Media=CD-R\n");
  // The image carries the time it was built, to the second: both builds in one second.
  std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(std::chrono::system_clock::now()) +
                                std::chrono::milliseconds(10));
  Build({Source("a.bin", 100000)});
  const std::vector<uint8_t> header = burner->Image().ImageHeader;
  const int64_t sectors = burner->Image().TrackSectors;
  burner->BuildImage(false);
  EXPECT_EQ(burner->Image().TrackSectors, sectors);
  EXPECT_TRUE(burner->Image().ImageHeader == header);
  EXPECT_EQ(Burn(), "");
  EXPECT_TRUE(SameBytes(ImageSectors(0, 300), expectedTrack));
}

// --- Failures -------------------------------------------------------------------------------

class BurnFailureTest : public BurnerTest {
 protected:
  // One OnWriteDone with that text, the track not closed, every thread gone.
  void ExpectFailedWrite(const std::string& error) {
    EXPECT_EQ(Burn(), error);
    {
      std::lock_guard<std::mutex> guard(eventsLock);
      EXPECT_EQ(writeDone.size(), 1u);
    }
    EXPECT_EQ(platform->Count(kCloseTrackSession), 0u);
    EXPECT_TRUE(Disc().tracks.empty());
    EXPECT_TRUE(Disc().leadOuts.empty());
    EXPECT_FALSE(burner->Writing());
    // The writer has ended; its system thread may take a moment to exit (long on a loaded machine).
    for (int i = 0; i < 1000 && ThreadCount() != threadsBefore; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ThreadCount(), threadsBefore);
  }
};

TEST_F(BurnFailureTest, SourceDeletedAfterLayoutBeforeTheCacheIsFull) {
  Start("Media=CD-R\n");
  const std::string gone = Source("gone.bin", 1000);
  Build({Source("a.bin", 1000), gone});
  std::filesystem::remove(gone);
  ExpectFailedWrite("CAN'T OPEN FILE \"" + gone + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
  EXPECT_EQ(platform->Count(kWrite10), 0u);  // StartBurn failed: no writer
  EXPECT_EQ(writeDoneThreads[0], std::this_thread::get_id());
  EXPECT_EQ(burner->CurrentFile(), gone);
  EXPECT_EQ(finalizing, 0);
}

TEST_F(BurnFailureTest, SourceDeletedAfterLayoutWhileStreaming) {
  Start("Media=CD-R\n");
  const std::string gone = Source("gone.bin", 1000);
  Build({Source("big.bin", 8 * 1024 * 1024), gone});
  std::filesystem::remove(gone);
  ExpectFailedWrite("CAN'T OPEN FILE \"" + gone + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
  EXPECT_GT(platform->Count(kWrite10), 0u);
  EXPECT_EQ(finalizing, 1);  // the recorder's cache is still flushed
  EXPECT_EQ(platform->Count(kSynchronizeCache), 1u);
  EXPECT_NE(writeDoneThreads[0], std::this_thread::get_id());
}

TEST_F(BurnFailureTest, AbortWriteInMidStream) {
  Start("Media=CD-R\n");
  Build({Source("big.bin", 4 * 1024 * 1024)});
  int writes = 0;
  platform->SetHook([&](const uint8_t* cdb) {
    if (cdb[0] == kWrite10 && ++writes == 10) burner->AbortWrite();
  });
  ExpectFailedWrite("OPERATION ABORTED BY USER");
  // The abort is seen before the next block; the blocks written are on the disc.
  uint32_t blocks = 0;
  bool modeSelectAfterData = false;
  for (const SentCommand& command : platform->Sent()) {
    if (command.Cdb[0] == kWrite10) blocks += uint32_t{command.Cdb[7]} << 8 | command.Cdb[8];
    if (command.Cdb[0] == kModeSelect && blocks > 0) modeSelectAfterData = true;
  }
  EXPECT_EQ(platform->Count(kWrite10), 10u);
  EXPECT_EQ(Disc().written, blocks);
  EXPECT_FALSE(modeSelectAfterData);  // no return to the idle write parameters
}

TEST_F(BurnFailureTest, UnitBusyLongerThanTheRetries) {
  Start("Media=CD-R\nBusyWrites=5\n");
  burner->SetWriteRetries({3, 600, 1000, 1000});
  Build({Source("a.bin", 1000)});
  ExpectFailedWrite("WRITER BUSY/BUFFER FULL");
  EXPECT_EQ(platform->Count(kWrite10), 3u);
}

TEST_F(BurnFailureTest, UnitBusyWithinTheRetriesIsWaitedFor) {
  Start("Media=CD-R\nBusyWrites=5\n");
  burner->SetWriteRetries({6, 600, 1000, 1000});
  Build({Source("a.bin", 1000)});
  const uint64_t before = clock.NowMs();
  EXPECT_EQ(Burn(), "");
  EXPECT_GE(clock.NowMs() - before, 5u * 600u);
  EXPECT_TRUE(SameBytes(ImageSectors(0, 300), expectedTrack));
}

TEST_F(BurnFailureTest, MediumErrorOnWrite) {
  Start("Media=CD-R\nWriteErrorLba=200\n");
  Build({Source("a.bin", 1000)});
  ExpectFailedWrite("WRITER ERROR [MEDIUM ERROR (WRITE ERROR)]");
  EXPECT_TRUE(HasDebugLine(">>> STARTING WRITE PROCESS ON CD-R AT 48X"));
}

TEST_F(BurnFailureTest, DiscTooSmallIsRefusedBeforeAnythingIsWritten) {
  Start("Media=CD-R\nCapacity=250\n");
  Build({Source("a.bin", 1000)});
  ExpectFailedWrite("NOT ENOUGH SPACE ON DISC (300 SECTORS NEEDED, 250 FREE)");
  EXPECT_EQ(platform->Count(kWrite10), 0u);
  EXPECT_EQ(platform->Count(kSynchronizeCache), 0u);
  EXPECT_EQ(finalizing, 0);
  EXPECT_TRUE(Disc().Empty());
}

TEST_F(BurnFailureTest, TrackLaidOutElsewhereIsRefused) {
  // A DVD is laid out from sector 0; this one already holds a session.
  Start("Media=DVD-R\nState=appendable\n");
  Build({Source("a.bin", 1000)});
  ASSERT_EQ(burner->Image().StartSector, 0u);
  const aspi::Medium before = Disc();
  char text[96];
  std::snprintf(text, sizeof(text), "NEXT WRITABLE ADDRESS %u IS NOT THE START OF THE IMAGE (0)", before.NextWritable());
  EXPECT_EQ(Burn(), text);
  EXPECT_EQ(platform->Count(kWrite10), 0u);
  EXPECT_EQ(platform->Count(kReserveTrack), 0u);
  EXPECT_EQ(Disc().reserved, 0u);
  EXPECT_EQ(Disc().tracks.size(), 1u);
}

TEST_F(BurnFailureTest, DiscTooSmallWithoutTheCheckFailsInTheWrite) {
  Start("Media=CD-R\nCapacity=250\n");
  burner->SetCheckCapacity(false);
  Build({Source("a.bin", 1000)});
  ExpectFailedWrite("WRITER ERROR [ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)]");
  EXPECT_EQ(Disc().written, 244u);  // header, file and three padding blocks fitted
}

TEST_F(BurnFailureTest, OneWriteAtATime) {
  Start("Media=CD-R\n");
  Build({Source("big.bin", 2 * 1024 * 1024)});
  TVortalBurner other(*engine);
  std::string refused;
  other.SetOnWriteDone([&](TVortalBurner*, const std::string& error) { refused = error; });
  other.Image().ImageHeader = burner->Image().ImageHeader;
  bool started = true;
  int writes = 0;
  platform->SetHook([&](const uint8_t* cdb) {
    if (cdb[0] == kWrite10 && ++writes == 3) {
      started = other.StartBurn();
      burner->AbortWrite();
    }
  });
  ExpectFailedWrite("OPERATION ABORTED BY USER");
  EXPECT_FALSE(started);
  EXPECT_EQ(refused, "A WRITE IS ALREADY RUNNING");
}

TEST_F(BurnFailureTest, DiscsWithoutRoomOrClosedAreRefusedBeforeAnyWrite) {
  const struct {
    const char* Unit;
    const char* Error;
  } discs[] = {
      {"Media=DVD+RW\nState=appendable\nCapacity=200\n", "NOT ENOUGH SPACE ON DISC (300 SECTORS NEEDED, 200 FREE)"},
      {"Media=DVD-RAM\nState=appendable\nCapacity=200\n", "NOT ENOUGH SPACE ON DISC (300 SECTORS NEEDED, 200 FREE)"},
      {"Media=DVD-RW\nCapacity=200\n", "NOT ENOUGH SPACE ON DISC (301 SECTORS NEEDED, 200 FREE)"},
      {"Media=CD-R\nState=closed\n", "THE DISC IS CLOSED: NO SESSION CAN BE ADDED"},
      {"Media=CD-ROM\n", "THE DISC IS CLOSED: NO SESSION CAN BE ADDED"},
  };
  for (const auto& disc : discs) {
    SCOPED_TRACE(disc.Unit);
    writeDone.clear();
    Start(disc.Unit);
    Build({Source("a.bin", 1000)});
    EXPECT_EQ(Burn(), disc.Error);
    EXPECT_EQ(platform->Count(kWrite10), 0u);
    EXPECT_EQ(platform->Count(kCloseTrackSession), 0u);
    burner.reset();
    install.reset();
  }
}

TEST_F(BurnFailureTest, ALeadOutThatNeverEndsIsAFailure) {
  // A CD session's lead-out beyond the 240 s wait; a DVD-R's beyond the flush's 1800 s.
  for (const char* unit : {"Media=CD-R\nCloseTime=300000\n", "Media=DVD-R\nCloseTime=2000000\n"}) {
    SCOPED_TRACE(unit);
    Start(unit);
    Build({Source("a.bin", 1000)});
    EXPECT_EQ(Burn(), "LEAD-OUT ERROR [NOT READY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)]");
    EXPECT_FALSE(HasDebugLine(">>> VERIFYING WRITTEN DATA"));
    burner.reset();
    install.reset();
  }
}

TEST_F(BurnFailureTest, AnExceptionInTheWriterEndsTheWriteAndTheNextOneRuns) {
  Start("Media=CD-R\n");
  Build({Source("a.bin", 1000)});
  burner->SetOnFinalizingTrack([](TVortalBurner*) { throw std::runtime_error("handler"); });
  ExpectFailedWrite("WRITER FAILURE");
  EXPECT_TRUE(HasDebugLine("<<< WRITER FAILURE: handler"));
  burner->SetOnFinalizingTrack(nullptr);
  Build({Source("a.bin", 1000)});
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(Disc().leadOuts.size(), 1u);
}

TEST_F(BurnFailureTest, AWriteStartedFromOnWriteDoneRunsOnAWriterOfItsOwn) {
  Start("Media=CD-R\n");
  Build({Source("a.bin", 1000)});
  std::atomic<bool> secondStarted{false};
  Event secondDone;
  burner->SetOnWriteDone([&](TVortalBurner* sender, const std::string& error) {
    size_t reports;
    {
      std::lock_guard<std::mutex> guard(eventsLock);
      writeDone.push_back(error);
      writeDoneThreads.push_back(std::this_thread::get_id());
      reports = writeDone.size();
    }
    if (reports > 1) return secondDone.Set();
    // A second session, laid out and started on the first writer's thread.
    sender->BuildImage(false);
    secondStarted = sender->StartBurn();
  });
  ASSERT_TRUE(burner->StartBurn());
  ASSERT_TRUE(secondDone.Wait(60000));
  EXPECT_TRUE(secondStarted.load());
  burner->WaitForWriter();
  burner.reset();  // joins both writers
  ASSERT_EQ(writeDone.size(), 2u);
  EXPECT_EQ(writeDone, (std::vector<std::string>{"", ""}));
  EXPECT_NE(writeDoneThreads[0], writeDoneThreads[1]);
  EXPECT_EQ(Disc().tracks.size(), 2u);
}

// An abort reaches the writes of its own engine only.
TEST_F(BurnFailureTest, AnotherEnginesAbortLeavesTheWriteAlone) {
  Start("Media=CD-R\n");
  Build({Source("big.bin", 2 * 1024 * 1024)});
  scsi::SCSITransportHub elsewhere;
  BurnEngine otherEngine(elsewhere);
  TVortalBurner other(otherEngine);
  int writes = 0;
  platform->SetHook([&](const uint8_t* cdb) {
    if (cdb[0] == kWrite10 && ++writes == 3) other.AbortWrite();
  });
  EXPECT_EQ(Burn(), "");
  EXPECT_GT(writes, 3);
  EXPECT_EQ(Disc().leadOuts.size(), 1u);
}

TEST_F(BurnFailureTest, AnEraseAndAWriteOfOneUnitExcludeEachOther) {
  Start("Media=CD-RW\nState=appendable\nBlankTime=100000\n");
  Build({Source("a.bin", 1000)});
  // The other component erases the same unit; its blanking thread stays in its polls.
  TVortalBurner eraser(*engine);
  eraser.SetDevice(burner->Devices()[0]);
  Event polling, release;
  eraser.SetSleepFunction([&](uint32_t ms) {
    polling.Set();
    release.Wait();
    clock.Advance(ms);
  });
  std::string eraseError = "(none)";
  eraser.SetOnEraseDone([&](scsi::TSCSIDevice*, bool withError, const std::string& failure) {
    eraseError = withError ? failure : "";
  });
  ASSERT_TRUE(eraser.Erase(scsi::BlankType::Minimal));
  ASSERT_TRUE(polling.Wait(60000));
  EXPECT_EQ(Burn(), "AN ERASE IS RUNNING ON THIS UNIT");
  EXPECT_FALSE(burner->Writing());
  release.Set();
  while (eraser.Erasing()) std::this_thread::yield();
  EXPECT_EQ(eraseError, "");
  // And the other way round: an erase while the write runs.
  Build({Source("a.bin", 1000)});
  platform->SetHook([&](const uint8_t* cdb) {
    if (cdb[0] != kWrite10 || !eraseError.empty()) return;
    EXPECT_FALSE(eraser.Erase(scsi::BlankType::Minimal));
  });
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(eraseError, "A WRITE IS RUNNING ON THIS UNIT");
}

TEST_F(BurnFailureTest, WriteWithoutTransportOrUnitFails) {
  const std::vector<uint8_t> sector(kSectorSize, 0);
  scsi::SCSITransportHub transport;
  BurnEngine unreached(transport);
  TVortalBurner alone(unreached);
  EXPECT_FALSE(alone.Write10(0, 1, 0x50, sector));
  Start("Media=CD-R\n");
  burner->SetDevice("");
  EXPECT_FALSE(burner->Write10(0, 1, 0x50, sector));
  EXPECT_TRUE(platform->Sent().empty());
}

TEST_F(BurnFailureTest, NoImageNoWrite) {
  Start("Media=CD-R\n");
  ExpectFailedWrite("NO IMAGE TO WRITE");
  EXPECT_TRUE(platform->Sent().empty());
}

}  // namespace
}  // namespace kvx::testing
