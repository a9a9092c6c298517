#include "burner/stream_ex.h"

namespace kvx {

bool TStreamEx::SetSize(int64_t) { return true; }

int64_t TStreamEx::GetSize() {
  const int64_t position = Seek(0, kSeekFromCurrent);
  const int64_t size = Seek(0, kSeekFromEnd);
  Seek(position, kSeekFromBeginning);
  return size;
}

TFileStreamEx::TFileStreamEx(const std::string& FileName, uint16_t Mode)
    : THandleStreamEx(OpenFileHandle(FileName, Mode)) {
  if (!IsOpen()) openError_ = Mode == kFileCreate ? FileCreateErrorText(FileName) : FileOpenErrorText(FileName);
}

TFileStreamEx::~TFileStreamEx() {
  if (IsOpen()) CloseFileHandle(Handle);
}

std::string FileOpenErrorText(const std::string& FileName) {
  return "CAN'T OPEN FILE \"" + FileName + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
}

std::string FileCreateErrorText(const std::string& FileName) { return "CAN'T CREATE FILE \"" + FileName + "\""; }

std::string FileReadErrorText(const std::string& FileName) { return "CAN'T READ FILE \"" + FileName + "\""; }

}  // namespace kvx
