#include "tests/scsi/scripted_unit.h"

#include <cstring>

namespace kvx::scsi::testing {

void FillInquiry(SCSIRequest& request, uint8_t deviceType, const std::string& identity) {
  if (request.SRB_BufPointer == nullptr || request.SRB_BufLen < 36) return;
  request.SRB_BufPointer[0] = deviceType;
  std::memcpy(request.SRB_BufPointer + 8, identity.data(), std::min<size_t>(identity.size(), 28));
}

void ScriptedUnitTest::SetUp() {
  Respond(nullptr);
  install = std::make_unique<TransportInstall>(platform);
  device = std::make_unique<TSCSIDevice>(install->Hub());
  device->SetOnDebugMessage([this](TSCSIDevice*, const std::string& line, uint8_t) { debugLines.push_back(line); });
  device->SetSleepFunction([](uint32_t) {});
  Select("0:0:0,E: VENDOR  PRODUCT NAME    1.00");
  script.Clear();
  debugLines.clear();
}

void ScriptedUnitTest::TearDown() {
  device.reset();
  install.reset();
}

void ScriptedUnitTest::Respond(std::function<void(SCSIRequest&)> unit) {
  script.respond = [this, unit](SCSIRequest& request) {
    if (request.CDBByte[0] == 0x12) {
      if (request.SRB_HaId != unitAddress[0] || request.SRB_Target != unitAddress[1] ||
          request.SRB_Lun != unitAddress[2]) {
        request.SRB_Status = SS_NO_DEVICE;
        return;
      }
      FillInquiry(request, inquiryType, inquiryIdentity);
      return;
    }
    if (unit) unit(request);
  };
}

void ScriptedUnitTest::Fail(SCSIRequest& request, uint8_t key, uint8_t asc, uint8_t ascq, uint8_t additionalLength) {
  request.SRB_Status = SS_ERR;
  request.SRB_HaStat = HASTAT_OK;
  request.SRB_TargStat = STATUS_CHKCOND;
  request.SenseArea[0] = 0x70;
  request.SenseArea[2] = key;
  request.SenseArea[7] = additionalLength;
  request.SenseArea[12] = asc;
  request.SenseArea[13] = ascq;
}

void ScriptedUnitTest::Select(const std::string& line) { device->SetDevice(line); }

}  // namespace kvx::scsi::testing
