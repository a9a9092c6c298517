#include "standins/aspi/medium.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>

#include "base/checked_size.h"

namespace kvx::aspi {
namespace {

constexpr uint32_t kCDCapacity = 359849;          // 79:59:74
constexpr uint32_t kDVDMinusCapacity = 2298496;
constexpr uint32_t kDVDPlusCapacity = 2295104;
constexpr uint32_t kDVDRAMCapacity = 2236704;
constexpr uint32_t kFirstSessionGap = 6750 + 4500 + 150;  // lead-out 90 s, lead-in, pre-gap
constexpr uint32_t kLaterSessionGap = 2250 + 4500 + 150;  // lead-out 30 s, lead-in, pre-gap
constexpr uint32_t kDVDECCBlock = 16;

uint32_t UsualCapacity(MediaType media) {
  switch (media) {
    case MediaType::CDROM:
    case MediaType::CDR:
    case MediaType::CDRW: return kCDCapacity;
    case MediaType::DVDPlusR:
    case MediaType::DVDPlusRW: return kDVDPlusCapacity;
    case MediaType::DVDRAM: return kDVDRAMCapacity;
    case MediaType::None: return 0;
    default: return kDVDMinusCapacity;
  }
}

uint32_t AlignToECCBlock(uint32_t lba) { return (lba + kDVDECCBlock - 1) / kDVDECCBlock * kDVDECCBlock; }

std::string StatePath(const std::string& imagePath) { return imagePath + ".state"; }

bool ParseNumbers(const std::string& text, std::vector<uint32_t>& numbers) {
  numbers.clear();
  std::istringstream in(text);
  std::string field;
  while (std::getline(in, field, ',')) {
    try {
      size_t used = 0;
      const unsigned long value = std::stoul(field, &used);
      if (used != field.size() || value > 0xFFFFFFFFul) return false;
      numbers.push_back(static_cast<uint32_t>(value));
    } catch (...) {
      return false;
    }
  }
  return true;
}

}  // namespace

Medium Medium::Configured(const UnitConfig& config) {
  Medium medium;
  medium.type = config.media;
  medium.capacity = config.capacity != 0 ? config.capacity : UsualCapacity(config.media);
  if (medium.type == MediaType::None) return medium;
  MediumState state = config.state;
  if (medium.ReadOnly()) state = MediumState::Closed;  // pressed discs are never blank
  if (state == MediumState::Blank) return medium;
  const uint32_t used = std::min(config.usedBlocks, medium.capacity);
  if (medium.RandomAccess()) {
    medium.formatted = true;
    medium.recordedEnd = used;
    return medium;
  }
  medium.tracks.push_back({0, used, 1});
  medium.nextStart = used;
  medium.CloseSession(state == MediumState::Appendable);
  return medium;
}

bool Medium::IsCD() const { return type == MediaType::CDROM || type == MediaType::CDR || type == MediaType::CDRW; }
bool Medium::ReadOnly() const { return type == MediaType::CDROM || type == MediaType::DVDROM; }
bool Medium::RandomAccess() const { return type == MediaType::DVDPlusRW || type == MediaType::DVDRAM; }
bool Medium::Erasable() const { return type == MediaType::CDRW || type == MediaType::DVDMinusRW; }

scsi::Profile Medium::Profile() const {
  using scsi::Profile;
  switch (type) {
    case MediaType::CDROM: return Profile::CDROM;
    case MediaType::CDR: return Profile::CDR;
    case MediaType::CDRW: return Profile::CDRW;
    case MediaType::DVDROM: return Profile::DVDROM;
    case MediaType::DVDMinusR: return Profile::DVDMinusRSequential;
    case MediaType::DVDRAM: return Profile::DVDRAM;
    case MediaType::DVDMinusRW: return Profile::DVDMinusRWSequential;
    case MediaType::DVDPlusRW: return Profile::DVDPlusRW;
    case MediaType::DVDPlusR: return Profile::DVDPlusR;
    case MediaType::None: break;
  }
  return Profile::None;
}

uint32_t Medium::FreeBlocks() const {
  if (finalised || ReadOnly()) return 0;
  const uint32_t end = WritableEnd();
  return end > NextWritable() ? end - NextWritable() : 0;
}

uint32_t Medium::ReadableEnd() const {
  if (RandomAccess()) return formatted ? capacity : 0;
  uint32_t end = 0;
  for (const TrackRecord& track : tracks) end = std::max(end, track.start + track.size);
  return std::max(end, written != 0 ? NextWritable() : 0);
}

scsi::DiscState Medium::DiscStatus() const {
  using scsi::DiscState;
  if (RandomAccess()) {
    if (!formatted) return DiscState::Blank;
    return type == MediaType::DVDRAM ? DiscState::RandomAccess : DiscState::Complete;
  }
  if (finalised) return DiscState::Complete;
  return Empty() ? DiscState::Blank : DiscState::Appendable;
}

uint8_t Medium::LastSessionState() const {
  if (finalised || (RandomAccess() && formatted)) return 3;
  const bool sessionHasData =
      written != 0 || reserved != 0 ||
      std::any_of(tracks.begin(), tracks.end(), [&](const TrackRecord& t) { return t.session == CurrentSession(); });
  return sessionHasData ? 1 : 0;
}

uint32_t Medium::TrackCount() const {
  if (RandomAccess()) return 1;
  return static_cast<uint32_t>(tracks.size()) + (finalised ? 0 : 1);
}

uint16_t Medium::FirstTrackOfLastSession() const {
  if (RandomAccess()) return 1;
  const uint16_t lastSession = finalised ? static_cast<uint16_t>(leadOuts.size()) : CurrentSession();
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].session == lastSession) return static_cast<uint16_t>(i + 1);
  return static_cast<uint16_t>(tracks.size() + 1);
}

void Medium::CloseTrack() {
  const uint32_t size = reserved != 0 ? reserved : written;
  if (size == 0) return;
  tracks.push_back({nextStart, size, CurrentSession()});
  nextStart += size;
  if (!IsCD()) nextStart = AlignToECCBlock(nextStart);
  written = reserved = 0;
}

void Medium::CloseSession(bool nextSessionAllowed) {
  CloseTrack();
  if (tracks.empty() || tracks.back().session != CurrentSession()) return;
  const uint32_t leadOut = tracks.back().start + tracks.back().size;
  leadOuts.push_back(leadOut);
  if (!nextSessionAllowed) {
    finalised = true;
    return;
  }
  if (IsCD())
    nextStart = leadOut + (leadOuts.size() == 1 ? kFirstSessionGap : kLaterSessionGap);
  else
    nextStart = AlignToECCBlock(leadOut);
  if (nextStart >= capacity) finalised = true;
}

void Medium::Finalise() {
  CloseSession(false);
  finalised = true;
}

void Medium::Erase() {
  const MediaType kept = type;
  const uint32_t keptCapacity = capacity;
  *this = Medium{};
  type = kept;
  capacity = keptCapacity;
}

std::string Medium::Serialize() const {
  std::ostringstream out;
  out << "Media=" << MediaName(type) << "\nCapacity=" << capacity << "\nFormatted=" << formatted
      << "\nFinalised=" << finalised << "\n";
  for (const TrackRecord& track : tracks) out << "Track=" << track.start << "," << track.size << "," << track.session << "\n";
  for (uint32_t leadOut : leadOuts) out << "LeadOut=" << leadOut << "\n";
  out << "Current=" << nextStart << "," << written << "," << reserved << "\nRecordedEnd=" << recordedEnd << "\n";
  return out.str();
}

bool Medium::Parse(const std::string& text, Medium& medium) {
  Medium parsed;
  std::istringstream lines(text);
  std::string line;
  std::vector<uint32_t> n;
  while (std::getline(lines, line)) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "Media") {
      if (!ParseMedia(value, parsed.type)) return false;
      continue;
    }
    if (!ParseNumbers(value, n) || n.empty()) return false;
    if (key == "Capacity") parsed.capacity = n[0];
    else if (key == "Formatted") parsed.formatted = n[0] != 0;
    else if (key == "Finalised") parsed.finalised = n[0] != 0;
    else if (key == "Track" && n.size() == 3 && n[2] <= 0xFFFF)  // a session number fits 16 bits
      parsed.tracks.push_back({n[0], n[1], static_cast<uint16_t>(n[2])});
    else if (key == "LeadOut") parsed.leadOuts.push_back(n[0]);
    else if (key == "Current" && n.size() == 3) {
      parsed.nextStart = n[0];
      parsed.written = n[1];
      parsed.reserved = n[2];
    } else if (key == "RecordedEnd") parsed.recordedEnd = n[0];
    else return false;
  }
  if (parsed.type == MediaType::None) return false;
  medium = parsed;
  return true;
}

bool LoadMedium(const std::string& imagePath, Medium& medium) {
  if (imagePath.empty()) return false;
  std::ifstream file(StatePath(imagePath), std::ios::binary);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  return Medium::Parse(text.str(), medium);
}

bool SaveMedium(const std::string& imagePath, const Medium& medium) {
  if (imagePath.empty()) return false;
  std::ofstream file(StatePath(imagePath), std::ios::binary | std::ios::trunc);
  file << medium.Serialize();
  return static_cast<bool>(file);
}

SectorImage::SectorImage(std::string path) : path_(std::move(path)) {}

bool SectorImage::Open() {
  if (file_.is_open()) return true;
  if (path_.empty()) return false;
  file_.open(path_, std::ios::binary | std::ios::in | std::ios::out);
  if (!file_.is_open()) {
    std::ofstream create(path_, std::ios::binary);  // a new, empty image
    create.close();
    file_.open(path_, std::ios::binary | std::ios::in | std::ios::out);
  }
  return file_.is_open();
}

bool SectorImage::Write(uint32_t lba, const uint8_t* data, uint32_t blocks) {
  if (!Open()) return path_.empty();
  size_t bytes = 0;
  if (!SizeInMemory(uint64_t{blocks} * kSectorBytes, bytes)) return false;
  file_.clear();
  file_.seekp(static_cast<std::streamoff>(lba) * kSectorBytes);
  file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(bytes));
  return static_cast<bool>(file_);
}

void SectorImage::Read(uint32_t lba, uint8_t* data, uint32_t blocks) {
  const size_t bytes = static_cast<size_t>(blocks) * kSectorBytes;
  std::fill(data, data + bytes, 0);
  if (!Open()) return;
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(lba) * kSectorBytes);
  file_.read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(bytes));
  file_.clear();  // sectors past the end of the file read as zeros
}

void SectorImage::Clear() {
  if (path_.empty()) return;
  file_.close();
  std::error_code ignored;
  std::filesystem::resize_file(path_, 0, ignored);
}

void SectorImage::Flush() {
  if (file_.is_open()) file_.flush();
}

}  // namespace kvx::aspi
