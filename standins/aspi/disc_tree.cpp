#include "standins/aspi/disc_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kvx::aspi {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSector = 2048;
constexpr uint32_t kMaxDirectoryBytes = 16u << 20;  // a damaged size must not read the whole disc
constexpr int kMaxDepth = 64;                       // ISO 9660 allows 8; loops end here

uint32_t Little32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

struct Root {
  uint32_t extent = 0, size = 0;
  bool joliet = false;
};

bool IsJolietEscape(const uint8_t* descriptor) {
  const uint8_t* escape = descriptor + 88;
  return escape[0] == 0x25 && escape[1] == 0x2F && (escape[2] == 0x40 || escape[2] == 0x43 || escape[2] == 0x45);
}

// The root of the Joliet descriptor when there is one, else that of the primary one.
bool FindRoot(const SectorReader& read, uint32_t sessionStart, Root& root) {
  bool found = false;
  std::vector<uint8_t> sector(kSector);
  for (uint32_t n = 0; n < 32; ++n) {
    read(sessionStart + 16 + n, sector.data(), 1);
    if (std::memcmp(&sector[1], "CD001", 5) != 0) break;
    const uint8_t type = sector[0];
    if (type == 255) break;
    const bool joliet = type == 2 && IsJolietEscape(sector.data());
    if ((type == 1 && !found) || joliet) {
      root = {Little32(&sector[156 + 2]), Little32(&sector[156 + 10]), joliet};
      found = true;
    }
  }
  return found;
}

// A record's name without its version (";1") and, for ISO names, a lone trailing dot.
std::u16string RecordName(const uint8_t* record, bool joliet) {
  const uint8_t length = record[32];
  const uint8_t* name = record + 33;
  std::u16string text;
  if (joliet) {
    for (uint8_t i = 0; i + 1 < length; i += 2) text.push_back(static_cast<char16_t>(name[i] << 8 | name[i + 1]));
  } else {
    for (uint8_t i = 0; i < length; ++i) text.push_back(name[i]);
  }
  if (const size_t semicolon = text.find(u';'); semicolon != std::u16string::npos) text.resize(semicolon);
  if (!joliet && !text.empty() && text.back() == u'.') text.pop_back();
  return text;
}

bool SafeName(const std::u16string& name) {
  return !name.empty() && name != u"." && name != u".." && name.find_first_of(u"/\\:") == std::u16string::npos;
}

class TreeReader {
 public:
  TreeReader(const SectorReader& read, bool joliet, std::vector<DiscEntry>& entries)
      : read_(read), joliet_(joliet), entries_(entries) {}

  void Directory(uint32_t extent, uint32_t size, const std::u16string& prefix, int depth) {
    if (depth > kMaxDepth) return;
    size = std::min(size, kMaxDirectoryBytes);
    std::vector<uint8_t> data((size + kSector - 1) / kSector * kSector);
    if (data.empty()) return;
    read_(extent, data.data(), static_cast<uint32_t>(data.size() / kSector));
    size_t continued = kNone;  // the multi-extent file whose next part follows
    for (size_t offset = 0; offset < size;) {
      const uint8_t length = data[offset];
      if (length == 0) {  // records do not cross sectors: go on in the next one
        offset = (offset / kSector + 1) * kSector;
        continue;
      }
      if (length < 34 || offset + length > data.size() || 33u + data[offset + 32] > length) return;
      continued = Record(&data[offset], prefix, depth, continued);
      offset += length;
    }
  }

 private:
  static constexpr size_t kNone = SIZE_MAX;

  // Adds one record; answers the file whose next part may follow.
  size_t Record(const uint8_t* record, const std::u16string& prefix, int depth, size_t continued) {
    const uint8_t flags = record[25];
    const uint32_t extent = Little32(record + 2), size = Little32(record + 10);
    if (record[32] == 1 && (record[33] == 0 || record[33] == 1)) return kNone;  // "." and ".."
    const std::u16string name = RecordName(record, joliet_);
    if (!SafeName(name)) return kNone;
    const std::u16string path = prefix + name;
    if (flags & 0x02) {
      entries_.push_back({path, true, {}, {}});
      Directory(extent, size, path + u"/", depth + 1);
      return kNone;
    }
    if (continued != kNone && entries_[continued].path == path) {
      entries_[continued].extents.push_back(extent);
      entries_[continued].sizes.push_back(size);
    } else {
      entries_.push_back({path, false, {extent}, {size}});
      continued = entries_.size() - 1;
    }
    return (flags & 0x80) ? continued : kNone;
  }

  const SectorReader& read_;
  const bool joliet_;
  std::vector<DiscEntry>& entries_;
};

bool HighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A path of well-formed UTF-16: a lone surrogate, which NTFS and so Joliet names may hold
// but fs::path refuses to convert, becomes U+FFFD.
fs::path PathOf(std::u16string name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (HighSurrogate(name[i]) && i + 1 < name.size() && LowSurrogate(name[i + 1]))
      ++i;
    else if (HighSurrogate(name[i]) || LowSurrogate(name[i]))
      name[i] = u'\uFFFD';
  }
  return fs::path(name);
}

bool EmptyFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (!fs::is_directory(folder, error)) return false;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    fs::remove_all(entry.path(), error);
    if (error) return false;
  }
  return !error;
}

bool WriteFile(const SectorReader& read, const DiscEntry& entry, const fs::path& target) {
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::vector<uint8_t> chunk(32 * kSector);
  for (size_t part = 0; part < entry.extents.size() && out; ++part) {
    uint32_t lba = entry.extents[part], left = entry.sizes[part];
    while (left > 0 && out) {
      const uint32_t bytes = std::min<uint32_t>(left, static_cast<uint32_t>(chunk.size()));
      const uint32_t blocks = (bytes + kSector - 1) / kSector;
      read(lba, chunk.data(), blocks);
      out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(bytes));  // 64 KiB at most
      lba += blocks;
      left -= bytes;
    }
  }
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

bool ReadSessionTree(const SectorReader& read, uint32_t sessionStart, std::vector<DiscEntry>& entries) {
  Root root;
  if (!FindRoot(read, sessionStart, root)) return false;
  TreeReader(read, root.joliet, entries).Directory(root.extent, root.size, u"", 0);
  return true;
}

bool ExportSessionTree(const SectorReader& read, std::optional<uint32_t> sessionStart, const std::string& folder) {
  const fs::path base(folder);
  if (!EmptyFolder(base)) return false;
  std::vector<DiscEntry> entries;
  if (!sessionStart || !ReadSessionTree(read, *sessionStart, entries)) return true;
  bool ok = true;
  for (const DiscEntry& entry : entries) {
    const fs::path target = base / PathOf(entry.path);
    std::error_code error;
    if (entry.folder) fs::create_directories(target, error);
    ok = ok && !error && (entry.folder || WriteFile(read, entry, target));
  }
  return ok;
}

}  // namespace kvx::aspi
