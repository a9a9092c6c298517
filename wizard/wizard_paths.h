// Path texts as the wizard takes them apart: drive part, folder part, final separator.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

// "C:" for "C:\X\F.zip", "\\SRV\PARTAGE" for "\\SRV\PARTAGE\F.zip", empty otherwise.
std::string DrivePart(std::string_view path);
// The path up to and including its last "\" or ":"; empty when it has neither.
std::string FolderPart(std::string_view path);
// The folder with one final "\".
std::string WithSeparator(std::string_view folder);

// folder and name joined by one separator of the system's kind.
std::string JoinPath(const std::string& folder, const std::string& name);

// True when a plain file (not a folder) has that path.
bool IsPlainFile(const std::string& path);

}  // namespace kvx
