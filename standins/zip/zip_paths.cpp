#include "standins/zip/zip_paths.h"

#include <vector>

#include "standins/zip/file_system.h"

namespace kvxzip {
namespace {

char FoldCase(char c, bool ignoreCase) {
  return ignoreCase && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameText(std::string_view a, std::string_view b, bool ignoreCase) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i], ignoreCase) != FoldCase(b[i], ignoreCase)) return false;
  return true;
}

size_t UncRootLength(std::string_view path) {
  // \\server\share\ : the root spans the server and the share names.
  size_t separators = 0;
  for (size_t i = 2; i < path.size(); ++i)
    if (IsSeparator(path[i]) && ++separators == 2) return i + 1;
  return path.size();
}

std::string ToSlashes(std::string text) {
  for (char& c : text)
    if (IsSeparator(c)) c = '/';
  return text;
}

// "..", and the forms Windows trims into it: two or more characters, dots and blanks only.
bool IsParentLike(std::string_view component) {
  return component.size() >= 2 && component.find_first_not_of(". ") == std::string_view::npos;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (IsSeparator(folder.back())) return folder + name;
  return folder + Separator() + name;
}

size_t RootLength(std::string_view path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && Separator() == '\\')
    return UncRootLength(path);
  if (path.size() >= 2 && path[1] == ':' && Separator() == '\\')
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

std::string NormalizePath(const std::string& absolute) {
  const size_t rootLength = RootLength(absolute);
  std::string root = absolute.substr(0, rootLength);
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = rootLength; i <= absolute.size(); ++i) {
    if (i < absolute.size() && !IsSeparator(absolute[i])) {
      part += absolute[i];
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  std::string result = root;
  for (size_t i = 0; i < parts.size(); ++i) result += (i ? std::string(1, Separator()) : "") + parts[i];
  return result;
}

std::string ParentOf(const std::string& path) {
  const size_t rootLength = RootLength(path);
  size_t end = path.size();
  while (end > rootLength && !IsSeparator(path[end - 1])) --end;
  while (end > rootLength && IsSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

std::string LastComponent(const std::string& path) {
  size_t start = path.size();
  while (start > RootLength(path) && !IsSeparator(path[start - 1])) --start;
  return path.substr(start);
}

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }


std::string MemberNameFor(const std::string& absolute, bool relativeToCurrent) {
  if (relativeToCurrent) {
    for (const std::string& form : CurrentFolderForms()) {
      const size_t length = form.size();
      if (length == 0 || absolute.size() < length) continue;
      if (!SameText(std::string_view(absolute).substr(0, length), form, NamesIgnoreCase())) continue;
      if (absolute.size() == length) return {};
      if (IsSeparator(form.back())) return ToSlashes(absolute.substr(length));
      if (IsSeparator(absolute[length])) return ToSlashes(absolute.substr(length + 1));
    }
  }
  return ToSlashes(absolute.substr(RootLength(absolute)));
}

bool IsSafeMemberName(std::string_view name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
  if (name.find(':') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (IsParentLike(name.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace kvxzip
