// The restore of an archive over a data folder, shared by the wizard and the unattended
// mode: a journal on disk first, then the safety copy, the archive extracted aside and
// checked, the prepared files flushed to the disk, the switch by renames (each one
// journaled), the converters, the clean-up. Until the switch is made every failure, and
// every stop of the machine, leaves the data folder as it was.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kvx {

class HostBridge;

struct RestoreRequest {
  std::string archive;
  std::string dataFolder;     // with its final separator
  std::string programFolder;  // with its final separator: the journal lies there, the converters run there
  bool safetyCopy = true;
  // The PARAM.DTA the caller rewrites (inside the data folder: its prepared copy is
  // rewritten; outside: it is kept as it was and put back when the data is); empty: none.
  std::string paramFile;
  std::function<bool(const std::string& paramFile)> writeBack;  // false refuses the restore
  // A folder of the restored data (TRAMES) that also goes into another folder (the
  // installation's): copied there aside and checked before the switch, then switched in
  // with the data and put back with it. Both empty: none.
  std::string copiedOut;  // its name in the data folder
  std::string copiedTo;   // the folder that receives it, with its final separator
  std::vector<std::pair<std::string, std::string>> converters;  // program, arguments
};

enum class RestoreStage { None, Refused, Journal, SafetyCopy, Extraction, Parameters, CopiedOut, Switch, Mixed, Converter };

struct RestoreOutcome {
  RestoreStage failedAt = RestoreStage::None;  // None: restored and converted
  std::string message;     // why, for the person (without saying whether the data changed)
  std::string safetyCopy;  // where the data as it was lies, when a copy was kept
  std::string program;     // the converter that failed
  bool DataUnchanged() const { return failedAt != RestoreStage::Mixed && failedAt != RestoreStage::Converter; }
};

// Restores the archive as the request says. KVXRESTORE_STOP_AFTER=N in the environment
// ends the process abruptly after the Nth step (for the tests of the journal).
RestoreOutcome RunRestore(HostBridge& host, const RestoreRequest& request);

// YYMMDD of the date stamp (year first) and the first two-digit counter from 01 whose
// dataFolder + name + ".ZIP" does not exist yet.
std::string NextSafetyCopyName(const std::string& dataFolder, const std::string& dateStamp);

// The first restore work folder name (KVXRnnnn.$$$, with its final separator) free in the
// data folder; empty when none is.
std::string NextWorkFolder(const std::string& dataFolder);

}  // namespace kvx
