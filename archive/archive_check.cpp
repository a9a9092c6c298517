#include "archive/archive_check.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <map>
#include <thread>

#include "base/checked_size.h"
#include "base/cp1252.h"
#include "base/exception_text.h"
#include "base/file_name_case.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kLocalSize = 30;
constexpr uint16_t kEncrypted = 0x0001;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr size_t kChunk = 64 * 1024;
constexpr unsigned kMostCheckThreads = 4;
#ifdef _WIN32
constexpr bool kNamesIgnoreCase = true;
#else
constexpr bool kNamesIgnoreCase = false;
#endif

// Why a file holds no central directory to read back.
const char* Absence(DirectoryPlace place) {
  switch (place) {
    case DirectoryPlace::Unopened: return "archive introuvable";
    case DirectoryPlace::OtherDiskette: return "répertoire central sur une autre disquette";
    default: return "pas une archive zip";
  }
}

// Member names in UTF-8, compared as the system compares file names.
std::string Key(std::string_view name) { return kNamesIgnoreCase ? FileNameUpper(name) : std::string(name); }

// Inflates (or copies) the member's data from the file, asking for input only when
// inflate has none left: a chunk's last bytes may expand past one output buffer.
class MemberReader {
 public:
  MemberReader(ArchiveFile& file, const ArchiveMember& member) : file_(file), member_(member) {}

  // True when the data reads back whole with the central directory's size and CRC-32.
  bool Check(std::string& why) {
    uint64_t dataOffset = 0;
    if (!LocateData(dataOffset, why)) return false;
    const bool read = member_.method == kStored ? Copy(dataOffset, why) : Inflate(dataOffset, why);
    if (!read) return false;
    if (produced_ != member_.size) {
      why = std::to_string(produced_) + " octets lus au lieu de " + std::to_string(member_.size);
      return false;
    }
    if (crc_ != member_.crc) why = "CRC-32 différent";
    return crc_ == member_.crc;
  }

 private:
  bool LocateData(uint64_t& dataOffset, std::string& why) {
    if (member_.flags & kEncrypted) {
      why = "fichier chiffré";
      return false;
    }
    if (member_.method != kStored && member_.method != kDeflated) {
      why = "méthode de compression " + std::to_string(member_.method) + " inconnue";
      return false;
    }
    std::string header;
    if (!file_.Read(member_.localOffset, kLocalSize, header) || LittleEndian(header, 0, 4) != kLocalSignature) {
      why = "en-tête local introuvable";
      return false;
    }
    dataOffset = member_.localOffset + kLocalSize + LittleEndian(header, 26, 2) + LittleEndian(header, 28, 2);
    if (!RangeWithin(dataOffset, member_.compressedSize, file_.Size())) {
      why = "données hors de l'archive";
      return false;
    }
    return true;
  }

  // The next chunk of the member's compressed data; false when none is left.
  bool NextInput(uint64_t& offset, uint64_t& left, std::string& chunk) {
    if (left == 0) return false;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
    if (!file_.Read(offset, size, chunk)) return false;
    offset += size;
    left -= size;
    return true;
  }

  void Output(const unsigned char* bytes, size_t size) {
    crc_ = static_cast<uint32_t>(crc32(crc_, bytes, static_cast<uInt>(size)));
    produced_ += size;
  }

  bool Copy(uint64_t offset, std::string& why) {
    if (member_.compressedSize != member_.size) {
      why = "taille enregistrée différente de la taille stockée";
      return false;
    }
    std::string chunk;
    for (uint64_t left = member_.compressedSize; NextInput(offset, left, chunk);)
      Output(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size());
    return true;
  }

  bool Inflate(uint64_t offset, std::string& why) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
      why = "décompression impossible";
      return false;
    }
    const bool ended = InflateAll(stream, offset);
    const bool allInput = stream.avail_in == 0 && left_ == 0;
    inflateEnd(&stream);
    if (!ended || !allInput) why = ended ? "données compressées plus longues que prévu" : "données compressées endommagées";
    return ended && allInput;
  }

  // Input is read only once inflate has used all it had and still had room for output:
  // with its output buffer full it may hold more to give from the input already read.
  bool InflateAll(z_stream& stream, uint64_t offset) {
    std::string chunk;
    std::array<unsigned char, kChunk> out;
    left_ = member_.compressedSize;
    for (bool needsInput = true;;) {
      if (stream.avail_in == 0 && needsInput) {
        if (!NextInput(offset, left_, chunk)) return false;
        stream.next_in = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_in = static_cast<uInt>(chunk.size());
      }
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      const int result = inflate(&stream, Z_NO_FLUSH);
      // Z_BUF_ERROR with input left and a whole output buffer free: no progress can come.
      if (result == Z_BUF_ERROR ? stream.avail_in != 0 : result != Z_OK && result != Z_STREAM_END) return false;
      Output(out.data(), out.size() - stream.avail_out);
      if (produced_ > member_.size) return false;  // no need to expand a bomb to its end
      if (result == Z_STREAM_END) return true;
      needsInput = stream.avail_out != 0;
    }
  }

  ArchiveFile& file_;
  const ArchiveMember& member_;
  uint64_t produced_ = 0;
  uint64_t left_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace

bool ReadMembersHere(const fs::path& archive, std::vector<ArchiveMember>& members, std::string& error) {
  ArchiveDirectory directory;
  if (!ReadArchiveDirectory(archive, directory, error)) return false;
  if (!directory.IsHere()) {
    error = Absence(directory.place);
    return false;
  }
  members = std::move(directory.members);
  return true;
}

bool CheckExpectedMembers(const std::vector<ArchiveMember>& members, const std::vector<ExpectedMember>& expected,
                          std::vector<std::string>& problems) {
  std::map<std::string, const ArchiveMember*> byName;
  for (const ArchiveMember& member : members)
    if (!member.folder) byName.emplace(Key(member.name), &member);
  const size_t before = problems.size();
  for (const ExpectedMember& file : expected) {
    const auto found = byName.find(Key(file.name));
    if (found == byName.end()) {
      problems.push_back("Fichier absent de la sauvegarde : " + UTF8ToCP1252(file.name));
    } else if (found->second->size != file.size) {
      problems.push_back("Fichier incomplet dans la sauvegarde : " + UTF8ToCP1252(file.name) + " (" +
                         std::to_string(found->second->size) + " octets sur " + std::to_string(file.size) + ")");
    }
  }
  return problems.size() == before;
}

namespace {

// Why each member does not read back whole (empty when it does). The members are shared
// out among a few threads, each with the archive open on its own, as the backup was
// compressed on every core: the check then costs a fraction of the backup.
std::vector<std::string> ReadMembersBack(const fs::path& archive, const std::vector<ArchiveMember>& members) {
  std::vector<std::string> whys(members.size());
  std::atomic<size_t> next{0};
  const auto readBack = [&] {
    ArchiveFile file(archive);
    for (size_t i = next++; i < members.size(); i = next++) {
      const ArchiveMember& member = members[i];
      if (member.folder) continue;
      std::string why;
      try {
        if (member.disk != 0)
          why = "sur un autre volume";
        else if (!MemberReader(file, member).Check(why) && why.empty())
          why = "illisible";
      } catch (...) {  // nothing may leave a thread
        why = CurrentExceptionText();
      }
      whys[i] = std::move(why);
    }
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMostCheckThreads);
  {
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(readBack);
    readBack();
  }
  return whys;
}

}  // namespace

bool CheckArchive(const fs::path& archive, const std::string& shownName, const std::vector<ExpectedMember>& expected,
                  std::vector<std::string>& problems) {
  const std::string failure = "Impossible de lire le fichier : " + shownName + " (relecture ";
  std::string error;
  std::vector<ArchiveMember> members;
  const bool read = ReadMembersHere(archive, members, error);
  if (!read || members.empty()) {
    problems.push_back(failure + "impossible : " + (read ? "archive vide" : error) + ")");
    return false;
  }
  const size_t before = problems.size();
  const std::vector<std::string> whys = ReadMembersBack(archive, members);
  for (size_t i = 0; i < members.size(); ++i) {
    if (!whys[i].empty())
      problems.push_back(failure + "de " + UTF8ToCP1252(members[i].name) + " incorrecte : " + whys[i] + ")");
  }
  CheckExpectedMembers(members, expected, problems);
  return problems.size() == before;
}

}  // namespace kvx
