// The record on disk of a restore under way, in the program's folder, so that the next
// start of the toolbox finds a restore the machine stopped in the middle of, and puts the
// data back as it was before (or ends the clean-up when nothing else was left).
//
// One line per record, fields apart by tabs: texts of the restore (folders, the safety
// copy) in Windows-1252, the paths of the renames in UTF-8, as the system names them.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/folder_switch.h"

namespace kvx {

struct RestoreRecord {
  std::string dataFolder;    // with its final separator
  std::string workFolder;    // the restore's work folder in the data folder, with its final separator
  std::string copyWork;      // the work folder beside a folder copied out of the data (TRAMES), or empty
  std::string safetyCopy;    // empty when the restore makes none
  std::string paramFile;     // a PARAM.DTA outside the data folder the restore rewrites, and
  std::string paramKept;     // the copy of it as it was (both empty when there is none)
  std::vector<Rename> plan;  // the renames of the switch, once planned
  std::vector<bool> done;    // per rename, recorded as made
  std::vector<bool> undone;  // per rename, recorded as undone
  bool putBack = false;      // every rename was undone and PARAM.DTA put back: only the clean-up is left
  bool switched = false;     // every rename was made: the restored data is in place
  bool converted = false;    // and the converters brought it to the current structure
};

// KVXRnnnn.$$$, a restore's work folder, and YYMMDDNN.ZIP, a safety copy (letter case aside).
bool IsWorkFolderName(const std::string& name);
bool IsSafetyCopyName(const std::string& name);

// The journal's path in the given folder (with its final separator).
std::string JournalPath(const std::string& folder);

// Writes the journal as the restore goes. Every record is handed to the system at once
// (a process that ends abruptly loses none); the start, the planned renames and the end
// of the switch are also flushed to the disk.
class RestoreJournal {
 public:
  explicit RestoreJournal(std::string path) : path_(std::move(path)) {}
  // A new journal naming the folders, the safety copy and the outside PARAM.DTA; false
  // when it cannot be written to the disk.
  bool Begin(const RestoreRecord& record);
  bool Plan(const std::vector<Rename>& plan);
  bool RenameDone(std::size_t index);
  // A rename of the switch put back, flushed: a later undo skips it.
  bool RenameUndone(std::size_t index);
  // Every rename undone and the outside PARAM.DTA put back, flushed: the clean-up that
  // follows removes the work folder, where the folders no longer tell a rename undone
  // from one made.
  bool MarkPutBack();
  bool Switched();
  bool Converted();
  bool Remove();

 private:
  bool Append(const std::string& lines, bool toDisk);
  std::string path_;
};

// The journal in that file; nothing when there is none or it cannot be read (why says
// what is wrong in it). Every whole record is read strictly (its fields, numbers, order);
// a last record cut short by a stop is left out.
std::optional<RestoreRecord> ReadRestoreJournal(const std::string& path, std::string& why);
std::optional<RestoreRecord> ReadRestoreJournal(const std::string& path);

// Whether a journal read in programFolder names only what a restore started there
// touches: its work folder KVXRnnnn.$$$ and its safety copy YYMMDDNN.ZIP directly in the
// data folder, the kept copy of an outside PARAM.DTA in that work folder, the outside
// PARAM.DTA only as the installation's FIC01\PARAM.DTA (the installation being the
// program folder's parent), its second work folder only directly in the installation, and
// every rename inside the data folder, or inside that second work folder and the
// installation's TRAMES. False with why.
bool CheckRestoreRecord(const RestoreRecord& record, const std::string& programFolder, std::string& why);

struct RecoveryReport {
  bool found = false;    // a restore had not ended
  bool failed = false;   // and its data could not all be put back (or its journal was not valid)
  std::string message;   // what was found and done, for the person
  std::string setAside;  // where a journal that was not valid was put, untouched
};

// One step of a recovery made (a rename undone, the parameters put back, a folder
// removed); false stops the recovery there, as a power cut would (for the tests).
using RecoveryStep = std::function<bool()>;

// Looks for the journal of a restore that did not end in the folder, and puts the data
// back as it was before it (the renames undone from what the folders show, each one
// journaled, the outside PARAM.DTA copied back, the work folder and the safety copy
// removed), or, when the journal says the switch was made, ends the clean-up. A recovery
// stopped at any point is finished by the next one. The journal goes once all is done; a
// journal that is not valid is renamed beside itself and nothing else is touched.
RecoveryReport RecoverInterruptedRestore(const std::string& folder, const RecoveryStep& step = {});

// Whether a journal in programFolder still holds a restore of dataFolder (or one that
// cannot be read) that a start could not settle: a backup or a restore of that folder
// must wait. The message tells the person where the journal is.
bool RecoveryPending(const std::string& programFolder, const std::string& dataFolder, std::string& message);

}  // namespace kvx
