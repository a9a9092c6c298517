// What the backup and restore benchmarks share: the data folder they work on (500 MB in
// 2,000 files of business records, made once) and an observer that reports only trouble.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "standins/zip/item_list.h"
#include "standins/zip/zip_reader.h"
#include "standins/zip/zip_writer.h"

namespace kvxbench {

// Makes the data folder under source (twenty subfolders D0..D19) unless it is there.
void MakeDataFolder(const std::filesystem::path& source);

// The data folder's files as a backup collects them, named relative to it.
std::vector<kvxzip::SourceEntry> CollectDataFolder(const std::filesystem::path& source);

class Quiet final : public kvxzip::WriteObserver, public kvxzip::ReadObserver {
 public:
  bool Progress(const std::string&, int) override { return true; }
  void SourceFailed(const std::string& path, kvxzip::SourceFailure, const std::string& reason) override;
  void Problem(int32_t id, const std::string& item) override;
};

}  // namespace kvxbench
