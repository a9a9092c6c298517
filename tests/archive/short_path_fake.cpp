// ShortPath for the tests that link the archive procedures without the system helpers:
// the absolute form of a path, as the Windows helper gives it (without short names here).
#include <filesystem>

#include "host/system_helpers.h"

std::string kvx::ShortPath(std::string_view path) {
  const std::filesystem::path given{std::string(path)};
  return (given.is_absolute() ? given : std::filesystem::current_path() / given).lexically_normal().string();
}
