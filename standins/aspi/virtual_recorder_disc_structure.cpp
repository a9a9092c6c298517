// The virtual recorder's configuration and disc structure: GET CONFIGURATION, READ DISC
// INFORMATION, READ TRACK INFORMATION, READ TOC and READ FORMAT CAPACITIES.
#include "standins/aspi/virtual_recorder_reply.h"

#include <optional>

namespace kvx::aspi {

using scsi::BigEndian16;
using scsi::BigEndian32;
using scsi::Code;
using scsi::DescriptorType;
using scsi::Feature;
using scsi::FormatType;
using scsi::Profile;
using scsi::PutBigEndian16;
using scsi::PutBigEndian32;
using scsi::TOCFormat;
namespace sense = scsi::sense;
using recorder::Answer;
using recorder::IsDVDMinus;
using recorder::PutAddress;

namespace {

// Features of CD and DVD-R/-RW writing.
bool CDOrDVDMinusWriting(Feature feature) {
  return feature == Feature::IncrementalStreamingWritable || feature == Feature::CDTrackAtOnce ||
         feature == Feature::CDMastering || feature == Feature::DVDMinusRWrite;
}

struct FeatureDescriptor {
  Feature code;
  uint8_t version;
  bool current;
  std::vector<uint8_t> data;
};

// The Profile List feature's data: every profile the unit knows, the loaded disc's current.
std::vector<uint8_t> ProfileListData(const Medium* loaded) {
  static constexpr Profile kProfiles[] = {Profile::DVDRAM,
                                          Profile::DVDMinusRSequential,
                                          Profile::DVDMinusRWSequential,
                                          Profile::DVDMinusRWRestrictedOverwrite,
                                          Profile::DVDPlusR,
                                          Profile::DVDPlusRW,
                                          Profile::DVDROM,
                                          Profile::CDRW,
                                          Profile::CDR,
                                          Profile::CDROM};
  std::vector<uint8_t> profiles;
  for (Profile profile : kProfiles) {
    const uint16_t code = Code(profile);
    profiles.insert(profiles.end(), {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code),
                                     static_cast<uint8_t>(loaded && profile == loaded->Profile()), 0});
  }
  return profiles;
}

// The features the unit reports, each current or not for the loaded disc (null: none).
std::vector<FeatureDescriptor> Features(const Medium* loaded) {
  const bool present = loaded != nullptr;
  const MediaType m = present ? loaded->type : MediaType::None;
  const bool cd = m == MediaType::CDROM || m == MediaType::CDR || m == MediaType::CDRW;
  const bool cdWritable = m == MediaType::CDR || m == MediaType::CDRW;
  const bool dvd = present && !cd;
  return {
      {Feature::ProfileList, 0, true, ProfileListData(loaded)},
      {Feature::Core, 2, true, {0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00}},  // ATAPI, DBE
      {Feature::RemovableMedium, 0, true, {0x29, 0, 0, 0}},  // tray, eject, lock
      {Feature::CDRead, 2, cd, {0, 0, 0, 0}},
      {Feature::DVDRead, 1, dvd, {0, 0, 0, 0}},
      {Feature::IncrementalStreamingWritable, 1, cdWritable || IsDVDMinus(m), {0x00, 0x01, 0x00, 0x00}},
      {Feature::Formattable, 0, m == MediaType::DVDPlusRW || m == MediaType::DVDRAM, {0, 0, 0, 0}},
      {Feature::DVDPlusRW, 1, m == MediaType::DVDPlusRW, {0x01, 0x00, 0x00, 0x00}},
      {Feature::DVDPlusR, 0, m == MediaType::DVDPlusR, {0x01, 0x00, 0x00, 0x00}},
      {Feature::CDTrackAtOnce, 2, cdWritable, {0x46, 0x00, 0x00, 0x00}},
      {Feature::CDMastering, 1, cdWritable, {0x7E, 0x00, 0xFF, 0xFF}},
      {Feature::DVDMinusRWrite, 1, IsDVDMinus(m), {0x46, 0x00, 0x00, 0x00}},
      {Feature::RealTimeStreaming, 3, present, {0x1F, 0x00, 0x00, 0x00}},
  };
}

// The READ TOC answers, without their length field; none when the disc has no such data.
std::optional<std::vector<uint8_t>> TOCAnswer(const std::vector<TrackRecord>& tracks, bool msf) {
  if (tracks.empty()) return std::nullopt;
  std::vector<uint8_t> answer(4, 0);
  answer[2] = 1;
  answer[3] = static_cast<uint8_t>(tracks.size());
  const auto entry = [&](uint8_t number, uint32_t lba) {
    std::vector<uint8_t> descriptor(8, 0);
    descriptor[1] = 0x14;  // data track
    descriptor[2] = number;
    PutAddress(&descriptor[4], lba, msf);
    answer.insert(answer.end(), descriptor.begin(), descriptor.end());
  };
  for (size_t i = 0; i < tracks.size(); ++i) entry(static_cast<uint8_t>(i + 1), tracks[i].start);
  entry(0xAA, tracks.back().start + tracks.back().size);
  return answer;
}

std::optional<std::vector<uint8_t>> SessionInformationAnswer(const Medium& m, const std::vector<TrackRecord>& tracks,
                                                             bool msf) {
  const size_t complete = m.RandomAccess() ? (m.formatted ? 1 : 0) : m.leadOuts.size();
  if (complete == 0) return std::nullopt;
  size_t firstOfLast = 0;
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].session == complete) {
      firstOfLast = i;
      break;
    }
  std::vector<uint8_t> answer(12, 0);
  answer[2] = 1;
  answer[3] = static_cast<uint8_t>(complete);
  answer[5] = 0x14;
  answer[6] = static_cast<uint8_t>(firstOfLast + 1);
  PutAddress(&answer[8], tracks[firstOfLast].start, msf);
  return answer;
}

std::optional<std::vector<uint8_t>> ATIPAnswer(const Medium& m) {
  if (m.type != MediaType::CDR && m.type != MediaType::CDRW) return std::nullopt;
  std::vector<uint8_t> answer(28, 0);
  answer[4] = 0x80 | 0x50;  // indicative writing power
  answer[6] = static_cast<uint8_t>(0x80 | (m.type == MediaType::CDRW ? 0x40 : 0x00));
  answer[8] = 97;  // lead-in start 97:26:66
  answer[9] = 26;
  answer[10] = 66;
  PutAddress(&answer[11], m.capacity, true);  // last possible lead-out start, bytes 12-14
  return answer;
}

}  // namespace

VirtualRecorder::Reply VirtualRecorder::GetConfiguration(const uint8_t* cdb, std::span<uint8_t> data) {
  const uint8_t rt = cdb[1] & 0x03;
  const uint16_t first = BigEndian16(cdb + 2);
  if (rt > Code(scsi::FeatureRequest::One)) return Reply::Illegal(sense::kInvalidFieldInCDB);
  const Medium* loaded = MediumPresent() ? &medium_ : nullptr;
  std::vector<uint8_t> answer(8, 0);
  PutBigEndian16(&answer[6], loaded ? Code(loaded->Profile()) : Code(Profile::None));
  for (const FeatureDescriptor& feature : Features(loaded)) {
    if (config_.dvdPlusOnly && CDOrDVDMinusWriting(feature.code)) continue;
    const uint16_t code = Code(feature.code);
    const bool wanted = rt == Code(scsi::FeatureRequest::One)
                            ? code == first
                            : code >= first && (rt == Code(scsi::FeatureRequest::All) || feature.current);
    if (!wanted) continue;
    answer.insert(answer.end(), {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code),
                                 static_cast<uint8_t>((feature.version << 2) | 0x02 | (feature.current ? 1 : 0)),
                                 static_cast<uint8_t>(feature.data.size())});
    answer.insert(answer.end(), feature.data.begin(), feature.data.end());
  }
  PutBigEndian32(&answer[0], static_cast<uint32_t>(answer.size() - 4));
  Answer(data, BigEndian16(cdb + 7), answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadDiscInformation(std::span<uint8_t> data, uint32_t allocation) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const Medium& m = medium_;
  std::vector<uint8_t> info(34, 0);
  PutBigEndian16(&info[0], static_cast<uint32_t>(info.size() - 2));
  info[2] = static_cast<uint8_t>((m.Erasable() ? 0x10 : 0) | (m.LastSessionState() << 2) | Code(m.DiscStatus()));
  info[3] = 1;
  const uint16_t sessions = static_cast<uint16_t>(m.leadOuts.size() + (m.finalised || m.RandomAccess() ? 0 : 1));
  info[4] = static_cast<uint8_t>(std::max<uint16_t>(sessions, 1));
  info[5] = static_cast<uint8_t>(m.FirstTrackOfLastSession());
  info[6] = static_cast<uint8_t>(m.TrackCount());
  info[7] = 0x20;  // unrestricted use
  if (m.type == MediaType::DVDPlusRW && m.formatted) info[7] |= 0x03;  // background format complete
  if (m.IsCD() && !m.finalised) {
    // The next session's lead-in: the ATIP's 97:26:66 on a blank disc, else 4650 sectors
    // (lead-in and pre-gap) before its first track.
    if (m.nextStart >= 4650)
      PutAddress(&info[16], m.nextStart - 4650, true);
    else
      info[17] = 97, info[18] = 26, info[19] = 66;
    PutAddress(&info[20], m.capacity, true);
  } else if (m.finalised) {
    PutBigEndian32(&info[16], 0xFFFFFFFF);
    PutBigEndian32(&info[20], 0xFFFFFFFF);
  } else {
    PutBigEndian32(&info[20], m.capacity);
  }
  Answer(data, allocation, info);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadTrackInformation(const uint8_t* cdb, std::span<uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const Medium& m = medium_;
  if ((cdb[1] & 0x03) != 0x01) return Reply::Illegal(sense::kInvalidFieldInCDB);
  uint32_t number = BigEndian32(cdb + 2);
  if (number == 0xFF && !m.finalised) number = m.TrackCount();
  if (number == 0 || number > m.TrackCount()) return Reply::Illegal(sense::kInvalidFieldInCDB);

  std::vector<uint8_t> info(48, 0);
  PutBigEndian16(&info[0], static_cast<uint32_t>(info.size() - 2));
  info[2] = static_cast<uint8_t>(number);
  info[5] = 0x04;  // data track, recorded uninterrupted
  uint32_t start, size, next = 0, free = 0, recorded;
  uint16_t session;
  bool incomplete = false;
  if (m.RandomAccess()) {
    start = 0;
    size = m.capacity;
    recorded = m.recordedEnd;
    session = 1;
  } else if (number <= m.tracks.size()) {
    const TrackRecord& track = m.tracks[number - 1];
    start = track.start;
    size = track.size;
    recorded = track.size;
    session = track.session;
  } else {
    incomplete = true;
    start = m.nextStart;
    next = m.NextWritable();
    free = m.FreeBlocks();
    recorded = m.written;
    size = m.reserved != 0 ? m.reserved : m.written + free;
    session = m.CurrentSession();
  }
  info[3] = static_cast<uint8_t>(session);
  info[6] = static_cast<uint8_t>((incomplete && m.reserved != 0 ? 0x80 : 0) | (recorded == 0 ? 0x40 : 0) | 0x01);
  info[7] = static_cast<uint8_t>((recorded != 0 ? 0x02 : 0) | (incomplete ? 0x01 : 0));
  PutBigEndian32(&info[8], start);
  PutBigEndian32(&info[12], next);
  PutBigEndian32(&info[16], free);
  PutBigEndian32(&info[24], size);
  PutBigEndian32(&info[28], recorded != 0 ? start + recorded - 1 : 0);
  Answer(data, BigEndian16(cdb + 7), info);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadTOC(const uint8_t* cdb, std::span<uint8_t> data) {
  const Reply ready = ReadyCheck();
  if (ready.status != kStatusGood) return ready;
  const Medium& m = medium_;
  const bool msf = cdb[1] & 0x02;
  std::vector<TrackRecord> tracks = m.tracks;
  if (m.RandomAccess() && m.formatted) tracks = {{0, m.recordedEnd, 1}};
  std::optional<std::vector<uint8_t>> answer;
  switch (static_cast<TOCFormat>(cdb[2] & 0x0F)) {
    case TOCFormat::TOC: answer = TOCAnswer(tracks, msf); break;
    case TOCFormat::SessionInformation: answer = SessionInformationAnswer(m, tracks, msf); break;
    case TOCFormat::ATIP: answer = ATIPAnswer(m); break;
    default: break;
  }
  if (!answer) return Reply::Illegal(sense::kInvalidFieldInCDB);
  PutBigEndian16(&(*answer)[0], static_cast<uint32_t>(answer->size() - 2));
  Answer(data, BigEndian16(cdb + 7), *answer);
  return Reply::Good();
}

VirtualRecorder::Reply VirtualRecorder::ReadFormatCapacities(std::span<uint8_t> data, uint32_t allocation) {
  std::vector<uint8_t> answer(4, 0);
  const auto descriptor = [&](uint32_t blocks, uint8_t typeByte) {
    std::vector<uint8_t> entry(8, 0);
    PutBigEndian32(&entry[0], blocks);
    entry[4] = typeByte;
    entry[6] = kSectorBytes >> 8;
    answer.insert(answer.end(), entry.begin(), entry.end());
  };
  if (!MediumPresent()) {
    descriptor(0xFFFFFFFF, Code(DescriptorType::NoMedia));
  } else {
    const bool formatted = medium_.RandomAccess() ? medium_.formatted : !medium_.Empty();
    descriptor(medium_.capacity, Code(formatted ? DescriptorType::FormattedMedia : DescriptorType::UnformattedMedia));
    if (medium_.type == MediaType::DVDRAM) descriptor(medium_.capacity, Code(FormatType::Full) << 2);
    if (medium_.type == MediaType::DVDPlusRW) descriptor(medium_.capacity, Code(FormatType::DVDPlusRWFull) << 2);
  }
  answer[3] = static_cast<uint8_t>(answer.size() - 4);
  Answer(data, allocation, answer);
  return Reply::Good();
}

}  // namespace kvx::aspi
