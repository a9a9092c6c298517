#include "archive/archive_procedures.h"

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include "archive/archive_check.h"
#include "archive/archive_members.h"
#include "archive/archive_replace.h"
#include "archive/archive_sources.h"
#include "archive/item_list_expansion.h"
#include "archive/zip_component.h"
#include "base/cp1252.h"
#include "base/disk_flush.h"
#include "base/file_search.h"
#include "host/host_bridge.h"
#include "host/system_helpers.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kSpanning = 0x8000;  // MV_USEMULTI

// A new empty folder in the temporary folder; empty when none can be made.
fs::path NewScratchFolder() {
  std::error_code error;
  const fs::path temp = fs::temp_directory_path(error);
  for (unsigned n = 0; !error; ++n) {
    const fs::path folder = temp / ("KVXT" + std::to_string(n) + ".$$$");
    if (fs::create_directory(folder, error)) return folder;
  }
  return {};
}

void CompressionProgress(HostBridge& host, int32_t percent) {
  const std::string value = std::to_string(percent);
  host.Display("JAUGE_JAUGE3", value);
  host.Display("LIB_libelle", "Sauvegarde en cours : " + value + " %");
  host.Multitask();
}

void ExtractionProgress(HostBridge& host, int32_t percent) {
  const std::string value = std::to_string(percent);
  host.Display("LIB_Fichier_en_cours1", "Fichier en cours " + value + "% :");
  host.Display("JAUGE_JAUGE1", value);
  host.Multitask(-1);
}

const char* ExtractionErrorText(uint16_t messageId) {
  switch (messageId) {
    case kUnzipMsgCannotOpen: return "Impossible d'ouvrir le fichier : ";
    case kUnzipMsgCannotRead: return "Impossible de lire le fichier : ";
    case kUnzipMsgCannotWrite: return "Impossible d'écrire le fichier : ";
    case kUnzipMsgCannotExtract: return "Impossible d'extraire les fichiers de ";
    default: return nullptr;
  }
}

// archive: the one the extraction reads, named in the error texts; a file that cannot
// be written is named by its member name.
void ExtractionMessage(HostBridge& host, const std::string& archive, uint16_t messageId, const char* member) {
  const bool byMember = messageId == kUnzipMsgCannotWrite && member && *member;
  if (const char* text = ExtractionErrorText(messageId)) host.Error(text + (byMember ? std::string(member) : archive));
}

const char* CompressionErrorText(uint16_t messageId) {
  const char* text = ExtractionErrorText(messageId);
  return text ? text : "Erreur de la bibliothèque de compression : ";
}

// Every message of the library is a problem, whatever its answer: the path in the first
// text (the archive being written shown under the target's name), the reason in the second.
void CompressionMessage(std::vector<std::string>& problems, uint16_t messageId, const char* path, const char* reason,
                        const std::string& written, const std::string& shown) {
  std::string named = path ? path : "";
  if (const size_t at = named.find(written); !written.empty() && at != std::string::npos)
    named.replace(at, written.size(), shown);
  std::string line = CompressionErrorText(messageId) + named;
  if (reason && *reason) line += std::string(" (") + reason + ")";
  problems.push_back(line);
}

// The library writes this archive in place of the target: beside it (same folder, same
// volume, so that the move is a rename), under a name no archive is given.
std::string WrittenAside(std::string_view target) { return SystemSeparators(target) + ".$$$"; }

// A handler that threw stopped the run: its text goes with the problems when they are
// collected, else to the host.
void TellHandlerFailure(const TZipComponent& component, HostBridge& host, std::vector<std::string>* problems) {
  if (!component.HandlerFailed()) return;
  if (problems)
    problems->push_back(component.LastError());
  else
    host.Error(component.LastError());
}

// The library's add of the item list into archive. True when it answered 0 and sent no
// message; every message is a line of problems, archive shown as shownArchive.
bool RunLibraryAdd(HostBridge& host, const std::string& archive, const std::string& itemList,
                   uint16_t multiVolumeWord, bool recurse, const std::string& shownArchive,
                   std::vector<std::string>& problems) {
  const size_t before = problems.size();
  TZipFile zip;
  zip.OnMajorCallback = [&host](const char*, int32_t percent, bool&) { CompressionProgress(host, percent); };
  zip.OnMessageCallback = [&](uint16_t messageId, uint16_t, int32_t, int32_t, const char* path, const char* reason,
                              int32_t& answer) {
    CompressionMessage(problems, messageId, path, reason, archive, shownArchive);
    answer = 0;
  };
  zip.lpszZipFile.SetText(Staged(archive).c_str());
  zip.wZipSubOptions = {TZipSubOption::ZSO_RELATIVEPATH};
  // Hidden and system files too, and zip64 records: the archive holds every file the check expects.
  zip.Options = {TZipFlag::IncludeSysHiddenFlag, TZipFlag::LargeZIPFilesFlag, TZipFlag::ExcludeFollowingFlag};
  zip.lpszExcludeFollowing.SetText(kWorkFolderExclusion);
  if (recurse) {
    zip.Options.Include(TZipFlag::RecurseFlag);
    zip.Options.Include(TZipFlag::PathForTempFlag);
  }
  zip.lpszItemList.SetText(itemList.c_str());
  zip.wMultiVolControl = MultiVolumeFlagsFromWord(multiVolumeWord);
  if (zip.Execute(kZipFunctionAdd) && problems.size() == before) return true;
  TellHandlerFailure(zip, host, &problems);
  return false;
}

// A library that ignored the exclusion must not slip a restore's work folder in. An
// archive that cannot be read is left to the check, which tells why.
bool WorkFoldersLeftOut(const fs::path& written, const std::string& shown, std::vector<std::string>& problems) {
  std::vector<ArchiveMember> members;
  std::string error;
  return !ReadMembersHere(written, members, error) || CheckNoWorkFolder(members, shown, problems);
}

bool FlushAndReplace(const fs::path& written, const fs::path& target, const std::string& shown,
                     std::vector<std::string>& problems) {
  if (!FlushFileToDisk(written)) {
    problems.push_back("Impossible d'écrire le fichier : " + shown + " (écriture sur le disque impossible)");
    return false;
  }
  std::string error;
  if (ReplaceArchive(written, target, error)) return true;
  problems.push_back("Impossible d'écrire le fichier : " + shown + " (" + error + ")");
  return false;
}

// Written aside, read back whole by the toolbox, flushed, then moved over the earlier
// archive; any failure removes only the archive written aside.
bool ZipAside(HostBridge& host, std::string_view target, const std::string& itemList, uint16_t multiVolumeWord,
              bool recurse, std::vector<std::string>& problems) {
  const std::string aside = WrittenAside(target);
  const std::string shown = SystemSeparators(target);
  if (aside.size() > kStagingMax) {  // the library would get it cut, perhaps down to the target's own name
    problems.push_back("Impossible d'écrire le fichier : " + shown + " (chemin trop long)");
    return false;
  }
  const fs::path written = NativePath(aside), targetPath = NativePath(target);
  std::error_code error;
  fs::remove(written, error);  // left by a run the machine's stop cut short
  const std::vector<SourceFile> sources = ListSources(itemList, recurse, written);
  const bool replaced = RunLibraryAdd(host, aside, itemList, multiVolumeWord, recurse, shown, problems) &&
                        WorkFoldersLeftOut(written, shown, problems) &&
                        CheckArchive(written, shown, ExpectedMembers(sources), problems) &&
                        FlushAndReplace(written, targetPath, shown, problems);
  if (!replaced) fs::remove(written, error);
  return replaced;
}

using ExtractionMessageHandler = std::function<void(uint16_t messageId, const char* member)>;

// Counts the members, then extracts (or, for a test, reads) those matching fileSpec;
// each message of the library goes to onMessage.
bool RunExtraction(HostBridge& host, std::string_view archivePath, std::string_view destination,
                   std::string_view fileSpec, bool test, const ExtractionMessageHandler& onMessage) {
  const std::string destinationFolder = Staged(ShortPath(destination));
  const std::string archive = Staged(ShortPath(archivePath));
  TUnzipFile unzip;
  unzip.OnMajorCallback = [&host](const char*, int32_t percent, bool&) { ExtractionProgress(host, percent); };
  unzip.OnMessageCallback = [&onMessage](uint16_t messageId, uint16_t, int32_t, int32_t, const char* member,
                                         const char*, int32_t& answer) {
    onMessage(messageId, member);
    answer = 0;
  };
  unzip.lpszZipFile.SetText(archive.c_str());
  const int32_t count = unzip.Execute(kUnzipFunctionCount) ? unzip.ReturnCount : 0;
  TellHandlerFailure(unzip, host, nullptr);
  if (count <= 0) return false;
  unzip.Options.Include(TUnzipFlag::OverWriteFlag);
  unzip.Options.Include(TUnzipFlag::QuietFlag);
  unzip.Options.Include(TUnzipFlag::RecurseFlag);
  if (test) unzip.Options.Include(TUnzipFlag::TestFlag);
  unzip.lpszDestination.SetText(destinationFolder.c_str());
  unzip.lpszFileSpec.SetText(Staged(fileSpec).c_str());
  if (unzip.Execute(kUnzipFunctionExtract)) return true;
  TellHandlerFailure(unzip, host, nullptr);
  return false;
}

// The set the library wrote on the diskettes, extracted through the library (which asks
// for each diskette in turn) into an empty folder of its own, removed after, and every
// file it gave read back against the directory the toolbox read from the last diskette:
// a library that checks no CRC-32, or ignores a test, cannot pass a damaged set.
bool ReadDisketteSetBack(HostBridge& host, const std::string& archive, const std::vector<ArchiveMember>& members,
                         std::vector<std::string>& problems) {
  const fs::path scratch = NewScratchFolder();
  const size_t before = problems.size();
  const auto onMessage = [&](uint16_t messageId, const char* member) {
    CompressionMessage(problems, messageId, member, "relecture", "", "");
  };
  const bool extracted =
      !scratch.empty() && RunExtraction(host, archive, UTF16ToCP1252(scratch.u16string()), "*.*", false, onMessage);
  std::string error;
  const bool whole = extracted && problems.size() == before && FolderHoldsMembers(scratch, members, archive, error);
  std::error_code removal;
  if (!scratch.empty()) fs::remove_all(scratch, removal);
  if (!error.empty())
    problems.push_back("Impossible de lire le fichier : " + archive + " (relecture incorrecte : " + error + ")");
  else if (!whole && problems.size() == before)
    problems.push_back("Impossible de lire le fichier : " + archive + " (relecture impossible)");
  return whole;
}

// No archive written aside here: the library spans the diskettes and empties them itself.
// So every source is read once before the first diskette, and the set is read back after
// the last; the files the list named must all be in the central directory (last diskette).
bool ZipToDiskettes(HostBridge& host, std::string_view target, const std::string& itemList,
                    uint16_t multiVolumeWord, bool recurse, std::vector<std::string>& problems) {
  const std::string archive = SystemSeparators(target);
  const std::vector<SourceFile> sources = ListSources(itemList, recurse, NativePath(archive));
  if (!ReadSourcesWhole(sources, problems)) return false;
  if (!RunLibraryAdd(host, archive, itemList, multiVolumeWord, recurse, archive, problems)) return false;
  std::string error;
  std::vector<ArchiveMember> members;
  if (!ReadMembersHere(NativePath(archive), members, error)) {
    problems.push_back("Impossible de lire le fichier : " + archive + " (relecture impossible : " + error + ")");
    return false;
  }
  return CheckNoWorkFolder(members, archive, problems) &&
         CheckExpectedMembers(members, ExpectedMembers(sources), problems) &&
         ReadDisketteSetBack(host, archive, members, problems);
}

}  // namespace

bool ZipArchive(HostBridge& host, std::string_view archivePath, std::string_view item, uint16_t multiVolumeWord,
                bool recurse, std::vector<std::string>* problems) {
  std::string itemList, error;
  if (!ExpandItems(item, itemList, error)) {
    if (problems)
      problems->push_back(error);
    else
      host.Error(error);
    return false;
  }
  std::vector<std::string> ownProblems;
  std::vector<std::string>& found = problems ? *problems : ownProblems;
  if (multiVolumeWord & kSpanning) return ZipToDiskettes(host, archivePath, itemList, multiVolumeWord, recurse, found);
  return ZipAside(host, archivePath, itemList, multiVolumeWord, recurse, found);
}

bool UnzipArchive(HostBridge& host, std::string_view archivePath, std::string_view destination,
                  std::string_view fileSpec) {
  const std::string archive = Staged(ShortPath(archivePath));
  return RunExtraction(host, archivePath, destination, fileSpec, false, [&](uint16_t messageId, const char* member) {
    ExtractionMessage(host, archive, messageId, member);
  });
}

// The toolbox's own reading: a library that ignored its test flag would extract the
// archive into the current folder.
bool TestArchive(HostBridge& host, std::string_view archivePath) {
  std::vector<std::string> problems;
  if (CheckArchive(NativePath(archivePath), SystemSeparators(archivePath), {}, problems)) return true;
  for (const std::string& problem : problems) host.Error(problem);
  return false;
}

}  // namespace kvx
