// Times a restore's steps against a plain extraction of the same archive: a data folder
// of about 500 MB in 2,000 files is zipped by the zip stand-in's format code, extracted
// once into a fresh folder (the reference), then restored over that folder the way the
// restore procedure does: extracted aside into a work folder (its files flushed as they
// come), flushed to the disk, the renames journaled (the plan flushed, each rename
// recorded), switched in, the work folder (holding the replaced files) removed; between
// the extraction and the flush every extracted file is read back against the archive's
// directory (size, CRC-32), as the restore checks what the zip library left. Both
// ratios are printed: against the extraction alone and against it with its files synced.
//   restore_bench [FOLDER]   (default build/restore-bench; the data is made there once)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "archive/archive_members.h"
#include "archive/folder_switch.h"
#include "archive/restore_journal.h"
#include "base/disk_flush.h"
#include "bench/bench_data.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool Extract(const std::string& archive, const fs::path& destination, kvxbench::Quiet& quiet) {
  kvxzip::ExtractOptions options;
  options.destination = destination.string();
  options.overwrite = true;
  options.recurse = true;
  return kvxzip::ExtractMembers(archive, options, quiet) == kvxzip::ZipResult::Ok;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = fs::absolute(argc > 1 ? argv[1] : "build/restore-bench");
  const fs::path source = root / "SOURCE", data = root / "DATA", work = data / "KVXR0001.$$$";
  const std::string archive = (root / "SAUVE.ZIP").string();
  kvxbench::Quiet quiet;
  if (!fs::exists(archive)) {
    kvxbench::MakeDataFolder(source);
    if (kvxzip::WriteArchive(archive, kvxbench::CollectDataFolder(source), {}, quiet) != kvxzip::ZipResult::Ok) return 1;
  }
  fs::remove_all(data);
  // Each timing starts with nothing left to write back from the step before.
  sync();

  auto start = Clock::now();
  if (!Extract(archive, data, quiet)) return 1;
  const double extraction = Seconds(start);
  sync();
  // The same files on the disk: what the restore's flushes make sure of.
  const double extractionOnDisk = Seconds(start);

  start = Clock::now();
  fs::create_directory(work);
  {
    kvx::BackgroundFlush early(work / "NEW");
    if (!Extract(archive, work / "NEW", quiet)) return 1;
  }
  const double aside = Seconds(start);
  kvx::ArchiveDirectory directory;
  std::string error;
  if (!kvx::ReadArchiveDirectory(archive, directory, error) ||
      !kvx::FolderHoldsMembers(work / "NEW", directory.members, archive, error))
    return 1;
  const double readBack = Seconds(start);
  if (!kvx::FlushTreeToDisk(work / "NEW")) return 1;
  const double flushed = Seconds(start);
  kvx::RestoreJournal journal((root / "KVXRESTO.JNL").string());
  kvx::RestoreRecord record;
  record.dataFolder = data.string() + "/";
  record.workFolder = work.string() + "/";
  const std::vector<kvx::Rename> plan = kvx::PlanSwitch(work / "NEW", data, work / "OLD");
  if (!journal.Begin(record) || !journal.Plan(plan)) return 1;
  if (kvx::RunSwitch(plan, kvx::RenameEntry, [&](size_t index) { journal.RenameDone(index); }) !=
          kvx::SwitchOutcome::Switched ||
      !journal.Switched())
    return 1;
  const double switched = Seconds(start);
  fs::remove_all(work);
  journal.Remove();
  const double restore = Seconds(start);

  std::printf("archive %s: %.0f MB\n", archive.c_str(), fs::file_size(archive) / 1e6);
  std::printf("extracting once:          %.2f s\n", extraction);
  std::printf("restore steps:            %.2f s (extracted aside %.2f s, read back %.2f s, flushed %.2f s, journaled "
              "switch of %zu renames %.2f s, work folder removed %.2f s)\n",
              restore, aside, readBack - aside, flushed - readBack, plan.size(), switched - flushed,
              restore - switched);
  std::printf("extracting, then sync:    %.2f s\n", extractionOnDisk);
  std::printf("ratio restore/extraction: %.2f (against the extraction on the disk: %.2f)\n", restore / extraction,
              restore / extractionOnDisk);
  return 0;
}
