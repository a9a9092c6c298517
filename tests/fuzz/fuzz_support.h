// What the fuzz targets share: a scratch folder of their own for the parsers that read
// files, and the stop on a broken expectation (libFuzzer keeps the input that caused it).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kvx::fuzz {

// Ends the run as a finding when an expectation does not hold.
void Expect(bool condition, const char* what);

// A fresh folder under TMPDIR (or /tmp), removed when the process ends normally.
const std::filesystem::path& ScratchFolder();

// Replaces the file's content with the bytes given.
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace kvx::fuzz
