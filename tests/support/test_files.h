// What the C++ tests share: whole files read and written in one call, for the files a
// test lays out before the code under test runs and the files it reads back afterwards.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace kvx::test {

// The file's bytes; empty when it cannot be read (the test's expectation then fails on them).
std::string ReadWholeFile(const std::filesystem::path& path);

// Replaces the file's content with the bytes given; its folder must exist.
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

// The same, making the file's missing folders first.
void WriteWholeFileAndFolders(const std::filesystem::path& path, std::string_view bytes);

// Every entry under root, subfolders included, by its path relative to root with "/"
// separators: a file with its bytes, a folder with "/". Empty when root does not exist.
std::map<std::string, std::string> ReadTree(const std::filesystem::path& root);

}  // namespace kvx::test
