#include "archive/archive_procedures.h"

#include <optional>
#include <string>

#include "archive/item_list_expansion.h"
#include "archive/zip_component.h"
#include "base/file_search.h"
#include "host/host_bridge.h"
#include "host/system_helpers.h"

namespace kvx {
namespace {

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
void ExtractionMessage(HostBridge& host, const std::string& archive, uint16_t messageId, const char* member,
                       int32_t& answer) {
  const bool byMember = messageId == kUnzipMsgCannotWrite && member && *member;
  if (const char* text = ExtractionErrorText(messageId)) host.Error(text + (byMember ? std::string(member) : archive));
  answer = 0;
}

// A source the library could not read whole, or a check of the archive that failed:
// the path in the first text, the reason in the second.
void CompressionMessage(std::vector<std::string>* problems, uint16_t messageId, const char* path,
                        const char* reason) {
  if (!problems || (messageId != kUnzipMsgCannotOpen && messageId != kUnzipMsgCannotRead)) return;
  std::string line = ExtractionErrorText(messageId) + std::string(path ? path : "");
  if (reason && *reason) line += std::string(" (") + reason + ")";
  problems->push_back(line);
}

// A handler that threw stopped the run: its text goes with the problems when they are
// collected, else to the host.
void TellHandlerFailure(const TZipComponent& component, HostBridge& host, std::vector<std::string>* problems) {
  if (!component.HandlerFailed()) return;
  if (problems)
    problems->push_back(component.LastError());
  else
    host.Error(component.LastError());
}

}  // namespace

bool ZipArchive(HostBridge& host, std::string_view archivePath, std::string_view item, uint16_t multiVolumeWord,
                bool recurse, std::vector<std::string>* problems) {
  const std::optional<std::string> itemList = ExpandItems(item);
  if (!itemList) {
    host.Error("La liste des fichiers à sauvegarder dépasse 640000 caractères : sauvegarde non effectuée.");
    return false;
  }
  TZipFile zip;
  zip.OnMajorCallback = [&host](const char*, int32_t percent, bool&) { CompressionProgress(host, percent); };
  zip.OnMessageCallback = [problems](uint16_t messageId, uint16_t, int32_t, int32_t, const char* path,
                                     const char* reason, int32_t& answer) {
    CompressionMessage(problems, messageId, path, reason);
    answer = 0;
  };
  zip.ZipFormats = {TZipFormat::DosifyFlag};
  zip.lpszZipFile.SetText(Staged(SystemSeparators(archivePath)).c_str());
  zip.wZipSubOptions = {TZipSubOption::ZSO_RELATIVEPATH};
  if (recurse) zip.Options = {TZipFlag::RecurseFlag, TZipFlag::PathForTempFlag};
  zip.lpszItemList.SetText(itemList->c_str());
  zip.wMultiVolControl = MultiVolumeFlagsFromWord(multiVolumeWord);
  if (zip.Execute(kZipFunctionAdd)) return true;
  TellHandlerFailure(zip, host, problems);
  return false;
}

namespace {

// Counts the members, then extracts (or, for a test, reads) those matching fileSpec.
bool RunExtraction(HostBridge& host, std::string_view archivePath, std::string_view destination,
                   std::string_view fileSpec, bool test) {
  const std::string destinationFolder = Staged(ShortPath(destination));
  const std::string archive = Staged(ShortPath(archivePath));
  TUnzipFile unzip;
  unzip.OnMajorCallback = [&host](const char*, int32_t percent, bool&) { ExtractionProgress(host, percent); };
  unzip.OnMessageCallback = [&host, &archive](uint16_t messageId, uint16_t, int32_t, int32_t, const char* member,
                                              const char*, int32_t& answer) {
    ExtractionMessage(host, archive, messageId, member, answer);
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

}  // namespace

bool UnzipArchive(HostBridge& host, std::string_view archivePath, std::string_view destination,
                  std::string_view fileSpec) {
  return RunExtraction(host, archivePath, destination, fileSpec, false);
}

bool TestArchive(HostBridge& host, std::string_view archivePath) {
  return RunExtraction(host, archivePath, "", "*.*", true);
}

}  // namespace kvx
