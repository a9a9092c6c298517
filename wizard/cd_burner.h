// TCDBurner: burns files to a recordable CD through the shell's CD writing service.
// Files are gathered in a list, copied into the shell's staging area on a worker
// thread, and the shell's own burn wizard takes over from there; once it has burned,
// the staged files are read back from the recorder's drive and compared.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/event.h"
#include "base/thread.h"
#include "ui/component.h"
#include "ui/dispatcher.h"

namespace kvx {

// The shell's CD writing service as the component uses it.
class CDBurnService {
 public:
  virtual ~CDBurnService() = default;
  // Creates the service object; false with the system's error text when it cannot.
  virtual bool Open(std::string& error) = 0;
  virtual bool HasRecordableDrive() = 0;
  // The recorder's drive, asked with a 4-character buffer.
  virtual std::string RecorderDriveLetter() = 0;
  // What a worker thread runs to burn the staging area with the shell's wizard: returns
  // when it ends, true when the service burned, else false with the failure's text. It
  // holds nothing of this object, which is released on the thread that created it.
  using WorkerBurnFunction = std::function<bool(intptr_t ownerWindow, std::string& error)>;
  virtual WorkerBurnFunction WorkerBurn() = 0;
};

// The shell's service (ICDBurn) and its staging folder (the CD burning special folder);
// natively a service that is not there.
std::unique_ptr<CDBurnService> MakeShellCDBurnService();
std::string ShellStagingFolder();

class TCDBurner : public ui::Component {
 public:
  using TBurnDoneEvent = std::function<void(int32_t result)>;

  // The owner must be a form: anything else fails with "Error: Component must be owned by TForm".
  TCDBurner(ui::Component* owner, std::string name, std::unique_ptr<CDBurnService> service,
            std::string stagingFolder);
  TCDBurner(ui::Component* owner, std::string name);
  ~TCDBurner() override;

  // Adds the path when something matches it (wildcards allowed), with the size of the first match.
  bool AddFile(const std::string& path);
  // Adds every file of the folder and of its subfolders; false when the folder is
  // missing or one of its own files could not be added.
  bool AddFolder(const std::string& folder);
  // Copies a file into the staging area now, replacing one of the same name; false
  // with LastError set while burning or when the copy fails.
  bool StageFile(const std::string& path);
  // Empties the list and the staging folder; false while burning or when entries remain.
  bool ClearFiles();
  // Copies the listed files into the staging area on a worker thread, then runs the
  // shell's burn and reads every staged file back from the recorder's drive;
  // OnBurnDone(0) follows on the GUI thread once the disc holds them as staged, or
  // OnBurnDone(-1) with LastError naming the failure (the service's, or the file that
  // reads back otherwise or not at all). When busy or not equipped,
  // OnBurnDone(-1) at once. The component joins the thread: at the next burn, or when
  // it goes (waiting for a burn that still runs).
  void StartBurn();

  bool IsBurning() const { return burning_; }
  bool Equipped() const { return equipped_; }
  const std::string& LastError() const { return lastError_; }
  const std::string& BurnerDrive() const { return burnerDrive_; }
  const std::string& BurnArea() const { return burnArea_; }
  // Bytes of the listed files plus everything already in the staging folder.
  int64_t BurnSize() const;
  const std::vector<std::string>& Files() const { return files_; }
  // Signalled once the thread of the last burn has ended (null before any burn).
  std::shared_ptr<Event> BurnThreadFinished() const { return burnThreadFinished_; }

  TBurnDoneEvent OnBurnDone;

 private:
  class TBurnThread;
  void BurnEnded(bool burned, const std::string& failure);

  std::unique_ptr<CDBurnService> service_;
  std::vector<std::string> files_;
  int64_t total_ = 0;
  std::atomic<bool> burning_{false};
  bool equipped_ = false;
  std::string lastError_;
  std::string burnerDrive_;
  std::string burnArea_;
  std::shared_ptr<Event> burnThreadFinished_;
  OwnedThread<TBurnThread> burnThread_;
  ui::Lifetime lifetime_;
};

// Deletes the folder's content; returns the number of entries that could not be
// removed. Throws std::runtime_error for an empty or missing folder.
int EmptyFolder(const std::string& folder);

}  // namespace kvx
