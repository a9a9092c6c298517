// Paths as the zip library's texts carry them: in the ANSI code page (Windows-1252 on
// Windows, the system's UTF-8 elsewhere), where a character it lacks would come out as
// "?", a wildcard to the library.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kvx {

// The path in the library's text, exactly: in the ANSI code page when it holds every
// character, else (Windows) its 8.3 short form. False with why when the path has no such
// form (a volume without short names), never a text naming something else.
bool LibraryTextOf(const std::filesystem::path& path, std::string& text, std::string& error);

// The path a text of the library names ("\" a separator everywhere), in its long form.
std::filesystem::path PathOfLibraryText(std::string_view text);

}  // namespace kvx
