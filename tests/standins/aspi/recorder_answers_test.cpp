// What a virtual recorder answers, byte for byte (MMC-5, SPC-3).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scsi/big_endian.h"
#include "standins/aspi/virtual_recorder.h"

namespace kvx::aspi {
namespace {

using Bytes = std::vector<uint8_t>;

class Answers : public ::testing::Test {
 protected:
  VirtualRecorder& Unit(MediaType media, MediumState state = MediumState::Blank) {
    UnitConfig config;
    config.media = media;
    config.state = state;
    config.fast = true;
    config.blankMs = 1000;
    recorder = std::make_unique<VirtualRecorder>(config, clock);
    return *recorder;
  }
  // Runs one command; returns the data, or the sense key/ASC/ASCQ as "k/asc/ascq".
  Bytes Run(const Bytes& cdb, size_t length = 0, const Bytes& out = {}) {
    data = out.empty() ? Bytes(length, 0xEE) : out;
    result = recorder->Execute(cdb, data);
    return data;
  }
  std::string Sense() const {
    char text[16];
    std::snprintf(text, sizeof(text), "%X/%02X/%02X", result.sense[2], result.sense[12], result.sense[13]);
    return result.status == kStatusGood ? "GOOD" : text;
  }

  ManualClock clock;
  std::unique_ptr<VirtualRecorder> recorder;
  Bytes data;
  CommandResult result;
};

TEST_F(Answers, Inquiry) {
  UnitConfig config;
  config.vendor = "ABC";
  config.product = "A PRODUCT NAME THAT IS LONG";
  config.revision = "2";
  recorder = std::make_unique<VirtualRecorder>(config, clock);
  const Bytes answer = Run({0x12, 0, 0, 0, 36, 0}, 40);
  const Bytes expected = {0x05, 0x80, 0x05, 0x02, 91, 0, 0, 0, 'A', 'B', 'C', ' ', ' ', ' ', ' ', ' ', 'A', ' ',
                          'P', 'R', 'O', 'D', 'U', 'C', 'T', ' ', 'N', 'A', 'M', 'E', ' ', 'T', '2', ' ', ' ', ' '};
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 36), expected);
  EXPECT_EQ(answer[36], 0xEE);  // the allocation length is kept
}

TEST_F(Answers, ConfigurationProfilesAndFeatures) {
  Unit(MediaType::CDR);
  Bytes answer = Run({0x46, 0x02, 0x00, 0x00, 0, 0, 0, 0, 0xFF, 0}, 255);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 12), (Bytes{0, 0, 0, 48, 0, 0, 0x00, 0x09, 0x00, 0x00, 0x03, 40}));
  // Ten profiles, CD-R current.
  EXPECT_EQ(Bytes(answer.begin() + 12 + 32, answer.begin() + 12 + 40), (Bytes{0x00, 0x09, 0x01, 0, 0x00, 0x08, 0x00, 0}));
  answer = Run({0x46, 0x02, 0x00, 0x2A, 0, 0, 0, 0, 114, 0}, 114);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 16),
            (Bytes{0, 0, 0, 12, 0, 0, 0x00, 0x09, 0x00, 0x2A, 0x06, 4, 0x01, 0, 0, 0}));
  answer = Run({0x46, 0x02, 0x00, 0x50, 0, 0, 0, 0, 114, 0}, 114);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 9), (Bytes{0, 0, 0, 4, 0, 0, 0x00, 0x09, 0xEE}));
  // Current features only: track at once on CD-R, not DVD+RW.
  answer = Run({0x46, 0x01, 0x00, 0x2A, 0, 0, 0, 0, 114, 0}, 114);
  EXPECT_EQ(Bytes(answer.begin() + 8, answer.begin() + 12), (Bytes{0x00, 0x2D, 0x0B, 4}));
  EXPECT_EQ(Run({0x46, 0x03}, 8).size(), 8u);
  EXPECT_EQ(Sense(), "5/24/00");
  Unit(MediaType::None);
  answer = Run({0x46, 0x02, 0x00, 0x00, 0, 0, 0, 0, 16, 0}, 16);
  EXPECT_EQ(answer[6] | answer[7], 0);
}

TEST_F(Answers, CapabilitiesAndWriteParametersPages) {
  Unit(MediaType::CDRW);
  Bytes answer = Run({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128, 0}, 128);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 8), (Bytes{0, 36, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(answer.begin() + 8, answer.begin() + 30),
            (Bytes{0x2A, 28, 0x1F, 0x17, 0xF0, 0, 0x29, 0, 0x21, 0x00, 0x01, 0x00, 0x08, 0x00, 0x21, 0x00, 0, 0, 0x21,
                   0x00, 0x21, 0x00}));
  answer = Run({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 128, 0}, 128);
  EXPECT_EQ(Bytes(answer.begin() + 8, answer.begin() + 24),
            (Bytes{0x05, 0x32, 0x01, 0x04, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x96}));
  Run({0x5A, 0, 0xC5, 0, 0, 0, 0, 0, 128, 0}, 128);
  EXPECT_EQ(Sense(), "5/39/00");
  Run({0x5A, 0, 0x1A, 0, 0, 0, 0, 0, 128, 0}, 128);
  EXPECT_EQ(Sense(), "5/24/00");
  // Select: session-at-once, next session allowed; read back.
  Bytes select(60, 0);
  select[8] = 0x05, select[9] = 0x32, select[10] = 0x52, select[11] = 0xC4, select[12] = 0x08, select[22] = 0x00,
  select[23] = 0x96;
  Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, select);
  EXPECT_EQ(Sense(), "GOOD");
  answer = Run({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 128, 0}, 128);
  EXPECT_EQ(answer[10], 0x52);
  EXPECT_EQ(answer[11], 0xC4);
  Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 6, 0}, 0, select);
  EXPECT_EQ(Sense(), "5/1A/00");
  select[8] = 0x2A;
  Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, select);
  EXPECT_EQ(Sense(), "5/26/00");
  // DVD-R takes no track-at-once.
  Unit(MediaType::DVDMinusR);
  select[8] = 0x05, select[10] = 0x01;
  Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, select);
  EXPECT_EQ(Sense(), "5/26/00");
}

// The feature codes of a GET CONFIGURATION answer, in order.
std::vector<uint16_t> FeatureCodes(const Bytes& answer) {
  std::vector<uint16_t> codes;
  const size_t end = std::min<size_t>(answer.size(), 4 + scsi::BigEndian32(&answer[0]));
  for (size_t at = 8; at + 4 <= end; at += 4 + answer[at + 3]) codes.push_back(scsi::BigEndian16(&answer[at]));
  return codes;
}

TEST_F(Answers, DVDPlusOnlyUnitAnnouncesNoOtherWriting) {
  const std::vector<uint16_t> all = {0x0000, 0x0001, 0x0003, 0x001E, 0x001F, 0x0021, 0x0023,
                                     0x002A, 0x002B, 0x002D, 0x002E, 0x002F, 0x0107};
  Unit(MediaType::DVDPlusR);
  EXPECT_EQ(FeatureCodes(Run({0x46, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0xFF, 0xFF}, 0xFFFF)), all);

  UnitConfig config;
  config.media = MediaType::DVDPlusR;
  config.dvdPlusOnly = true;
  recorder = std::make_unique<VirtualRecorder>(config, clock);
  EXPECT_EQ(FeatureCodes(Run({0x46, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0xFF, 0xFF}, 0xFFFF)),
            (std::vector<uint16_t>{0x0000, 0x0001, 0x0003, 0x001E, 0x001F, 0x0023, 0x002A, 0x002B, 0x0107}));
  for (uint8_t feature : {0x21, 0x2D, 0x2E, 0x2F}) {
    const Bytes answer = Run({0x46, 0x02, 0x00, feature, 0, 0, 0, 0, 114, 0}, 114);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 9), (Bytes{0, 0, 0, 4, 0, 0, 0x00, 0x1B, 0xEE})) << int{feature};
  }
  // DVD+R writing stays (feature 002Bh, current).
  Bytes answer = Run({0x46, 0x02, 0x00, 0x2B, 0, 0, 0, 0, 114, 0}, 114);
  EXPECT_EQ(Bytes(answer.begin() + 8, answer.begin() + 13), (Bytes{0x00, 0x2B, 0x03, 4, 0x01}));
  // Page 2Ah: the reads stay, no write bit (CD-R, CD-RW, test write, DVD-R, DVD-RAM).
  answer = Run({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 128, 0}, 128);
  EXPECT_EQ(Bytes(answer.begin() + 8, answer.begin() + 12), (Bytes{0x2A, 28, 0x1F, 0x00}));
}

TEST_F(Answers, BlankCDDiscAndTrack) {
  Unit(MediaType::CDR);
  Bytes answer = Run({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 24),
            (Bytes{0, 32, 0x00, 1, 1, 1, 1, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 97, 26, 66, 0, 79, 59, 74}));
  answer = Run({0x52, 0x01, 0, 0, 0, 1, 0, 0, 38, 0}, 38);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 32),
            (Bytes{0, 46, 1, 1, 0, 0x04, 0x41, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x05, 0x7D, 0xA9, 0, 0, 0, 0, 0x00,
                   0x05, 0x7D, 0xA9, 0, 0, 0, 0}));
  Run({0x52, 0x01, 0, 0, 0, 2, 0, 0, 38, 0}, 38);
  EXPECT_EQ(Sense(), "5/24/00");
  Run({0x43, 0, 0x01, 0, 0, 0, 0, 0, 12, 0}, 12);  // no complete session yet
  EXPECT_EQ(Sense(), "5/24/00");
  answer = Run({0x43, 0x02, 0x04, 0, 0, 0, 0, 0, 28, 0}, 28);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 16),
            (Bytes{0, 26, 0, 0, 0xD0, 0, 0x80, 0, 97, 26, 66, 0, 79, 59, 74, 0}));
}

TEST_F(Answers, AppendableCDTOCAndSessions) {
  Unit(MediaType::CDRW, MediumState::Appendable);
  Bytes answer = Run({0x43, 0, 0x01, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_EQ(answer, (Bytes{0, 10, 1, 1, 0, 0x14, 1, 0, 0, 0, 0, 0}));
  answer = Run({0x43, 0x02, 0x00, 0, 0, 0, 0, 0, 20, 0}, 20);
  EXPECT_EQ(answer, (Bytes{0, 18, 1, 1, 0, 0x14, 1, 0, 0, 0, 2, 0, 0, 0x14, 0xAA, 0, 0, 0, 6, 0}));  // MSF 0:2:0, 0:6:0
  answer = Run({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 8), (Bytes{0, 32, 0x11, 1, 2, 2, 2, 0x20}));
  answer = Run({0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 38, 0}, 38);
  EXPECT_EQ(answer[2], 2);
  EXPECT_EQ(answer[3], 2);
  EXPECT_EQ(scsi::BigEndian32(&answer[12]), 11700u);
  answer = Run({0x43, 0x02, 0x04, 0, 0, 0, 0, 0, 28, 0}, 28);
  EXPECT_EQ(answer[6], 0xC0);
}

TEST_F(Answers, RequestSenseShowsTheBlankingProgress) {
  Unit(MediaType::CDRW, MediumState::Closed);
  Run({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Sense(), "GOOD");
  clock.Advance(500);
  Run({0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(Sense(), "2/04/07");
  EXPECT_EQ(result.sense[15], 0x80);
  Bytes answer = Run({0x03, 0, 0, 0, 18, 0}, 18);
  EXPECT_EQ(answer, (Bytes{0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x07, 0, 0x80, 0x80, 0x00}));
  Run({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 2048);  // busy for the writer too
  EXPECT_EQ(Sense(), "2/04/07");
  clock.Advance(500);
  answer = Run({0x03, 0, 0, 0, 18, 0}, 18);
  EXPECT_EQ(answer, (Bytes{0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  Run({0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(Sense(), "GOOD");
}

TEST_F(Answers, FormatCapacitiesAndFormatting) {
  Unit(MediaType::DVDRAM);
  Bytes answer = Run({0x23, 0, 0, 0, 0, 0, 0, 0, 0xFC, 0}, 252);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 20),
            (Bytes{0, 0, 0, 16, 0x00, 0x22, 0x21, 0x20, 0x01, 0x00, 0x08, 0x00, 0x00, 0x22, 0x21, 0x20, 0x00, 0x00,
                   0x08, 0x00}));
  const Bytes plusRWList = {0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x98, 0, 0, 0, 0, 0, 0, 0};
  Run({0x04, 0x11, 0, 0, 0, 0}, 0, plusRWList);
  EXPECT_EQ(Sense(), "5/26/00");  // a DVD+RW format type on a DVD-RAM
  Unit(MediaType::CDRW);
  Run({0x04, 0x11, 0, 0, 0, 0}, 0, plusRWList);
  EXPECT_EQ(Sense(), "5/30/06");
  Unit(MediaType::CDR);
  Run({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Sense(), "5/30/00");
  Run({0xEA, 0, 0, 0, 0, 0});
  EXPECT_EQ(Sense(), "5/20/00");
}

// MODE SELECT of the write parameters page: the write types and data block types each
// medium takes.
TEST_F(Answers, WriteTypesAndBlockTypesPerMedium) {
  struct Case {
    MediaType media;
    uint8_t writeType, blockType;
    bool taken;
  };
  const Case cases[] = {
      {MediaType::CDR, 0x01, 0x08, true},        {MediaType::CDR, 0x03, 0x01, true},
      {MediaType::CDR, 0x01, 0x03, true},        {MediaType::CDR, 0x01, 0x04, false},
      {MediaType::CDR, 0x01, 0x07, false},       {MediaType::CDR, 0x01, 0x09, false},
      {MediaType::CDR, 0x01, 0x0A, true},        {MediaType::CDRW, 0x04, 0x08, false},
      {MediaType::CDR, 0x05, 0x08, false},       {MediaType::DVDMinusRW, 0x00, 0x08, true},
      {MediaType::DVDMinusR, 0x02, 0x08, true},  {MediaType::DVDMinusR, 0x01, 0x08, false},
      {MediaType::DVDMinusRW, 0x03, 0x08, false}, {MediaType::DVDPlusR, 0x04, 0x05, true},
      {MediaType::DVDPlusRW, 0x05, 0x08, false}, {MediaType::None, 0x04, 0x05, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.media) << ": " << int{c.writeType} << "/"
                                    << int{c.blockType});
    Unit(c.media);
    Bytes select(60, 0);
    select[8] = 0x05, select[9] = 0x32, select[10] = static_cast<uint8_t>(0x40 | c.writeType);
    select[11] = 0xC4, select[12] = c.blockType;
    Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0, select);
    EXPECT_EQ(Sense(), c.taken ? "GOOD" : "5/26/00");
    const Bytes answer = Run({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 128, 0}, 128);
    // What the unit keeps: the new fields, or its track-at-once Mode 1 defaults.
    const Bytes kept = c.taken ? Bytes{select[10], 0xC4, c.blockType} : Bytes{0x01, 0x04, 0x08};
    EXPECT_EQ(Bytes(answer.begin() + 10, answer.begin() + 13), kept);
  }
}

}  // namespace
}  // namespace kvx::aspi
