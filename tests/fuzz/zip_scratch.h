// Where the zip targets extract: a destination deep inside the scratch folder, the archive
// beside the chain of folders that leads to it. After each run nothing may exist in the
// scratch folder outside the destination but the archive and that chain.
#pragma once

#include <cstdint>
#include <filesystem>

namespace kvx::fuzz {

struct ZipScratch {
  std::filesystem::path archive, chain, destination;
};

// Made once per process; extracted files are also limited in size for the process.
const ZipScratch& ZipFolders();

// The file pattern an extraction is given, picked by bits 4 to 7 of the options byte.
const char* FileSpecOf(uint8_t options);

// Fails the run when anything lies outside the destination; then empties the destination.
void CheckExtractionStayedInside(const ZipScratch& scratch);

}  // namespace kvx::fuzz
