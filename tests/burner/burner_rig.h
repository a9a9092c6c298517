// A burner component over a virtual recorder reached in-process: the configuration in a
// fresh folder, the recorder on a manual clock (the engine's waits advance it), every
// command block the engine sends recorded, and a hook run before chosen commands.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/event.h"
#include "burner/vortal_burner.h"
#include "standins/aspi/aspi_manager.h"
#include "standins/aspi/inprocess_transport.h"
#include "tests/scsi/scripted_transport.h"

namespace kvx::testing {

struct SentCommand {
  std::vector<uint8_t> Cdb;
  std::thread::id Thread;
};

// The in-process recorders behind a transport that records each command block and may
// run a hook before passing it on (on the thread that sends it).
class RecordingPlatform : public scsi::TransportPlatform {
 public:
  explicit RecordingPlatform(aspi::ASPIManager& manager) : inner_(manager) {}
  LibraryLoad LoadASPILibrary(const std::string& path, std::unique_ptr<scsi::SCSITransport>& transport) override;
  std::string SystemFolder() override { return {}; }
  scsi::VolumeSystem* Volumes() override { return nullptr; }
  uint32_t QuietErrorMode() override { return 0; }
  void RestoreErrorMode(uint32_t) override {}

  std::vector<SentCommand> Sent() const;
  // Opcodes sent so far, in order.
  std::vector<uint8_t> Opcodes() const;
  size_t Count(uint8_t opcode) const;
  void Clear();
  // Called with each command block before the unit sees it.
  void SetHook(std::function<void(const uint8_t* cdb)> hook);

 private:
  friend class RecordingTransport;
  void Record(const uint8_t* cdb, size_t length);

  aspi::InProcessPlatform inner_;
  mutable std::mutex lock_;
  std::vector<SentCommand> sent_;
  std::function<void(const uint8_t* cdb)> hook_;
};

// Virtual recorders of one configuration, on a manual clock (the engine's waits advance
// it), behind a recording transport installed for the test.
struct RecorderRig {
  // Writes the configuration to path and starts its recorders.
  ::testing::AssertionResult StartRecorders(const std::string& path, const std::string& configuration);
  // Takes them down in the order the pieces depend on each other.
  void StopRecorders();

  aspi::ManualClock clock;
  std::unique_ptr<aspi::ASPIManager> manager;
  std::unique_ptr<RecordingPlatform> platform;
  std::unique_ptr<scsi::testing::TransportInstall> install;
};

class BurnerTest : public ::testing::Test, protected RecorderRig {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a recorder with these [Unit0] keys (its image in the test folder) and selects it.
  void Start(const std::string& unitKeys);
  // A source file of recognisable bytes.
  std::string Source(const std::string& name, size_t size, char seed = 'a');
  // Lays out the files in the root, asking the disc where the track starts, and keeps
  // the track's bytes as the recorder must receive them.
  void Build(const std::vector<std::string>& files);
  // StartBurn and, when it started, the wait for OnWriteDone and the writer's end.
  // Returns the Error of OnWriteDone.
  std::string Burn();
  aspi::Medium Disc() { return manager->UnitAt(0, 0, 0)->DiscState(); }
  // Sectors of the recorder's image file.
  std::string ImageSectors(uint64_t first, uint64_t count) const;
  std::string ImagePath() const { return (folder / "disc.img").string(); }
  bool HasDebugLine(const std::string& line) const;
  static size_t ThreadCount();

  std::filesystem::path folder;
  std::unique_ptr<BurnEngine> engine;
  std::unique_ptr<TVortalBurner> burner;
  std::string expectedTrack;

  // What the events brought, guarded by eventsLock.
  mutable std::mutex eventsLock;
  std::vector<std::string> debugLines;
  std::vector<std::string> writeDone;
  std::vector<std::thread::id> writeDoneThreads;
  int finalizing = 0;
  bool finalizingBeforeDone = false;
  Event done{true};
  size_t threadsBefore = 0;
};

// Threads of this process (natively, from /proc).
size_t ThreadsOfThisProcess();

// Compares long byte strings without printing them: the size, then the first difference.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want);

}  // namespace kvx::testing
