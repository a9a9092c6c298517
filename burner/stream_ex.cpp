#include "burner/stream_ex.h"

namespace kvx {

bool TStreamEx::SetSize(int64_t) { return true; }

int64_t TStreamEx::GetSize() {
  const int64_t position = Seek(0, kSeekFromCurrent);
  const int64_t size = Seek(0, kSeekFromEnd);
  Seek(position, kSeekFromBeginning);
  return size;
}

TFileStreamEx::TFileStreamEx(const std::string& fileName, uint16_t mode)
    : THandleStreamEx(OpenFileHandle(fileName, mode)) {
  if (!IsOpen()) openError_ = mode == kFileCreate ? FileCreateErrorText(fileName) : FileOpenErrorText(fileName);
}

TFileStreamEx::~TFileStreamEx() {
  if (IsOpen()) CloseFileHandle(Handle());
}

std::string FileOpenErrorText(const std::string& fileName) {
  return "CAN'T OPEN FILE \"" + fileName + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
}

std::string FileCreateErrorText(const std::string& fileName) { return "CAN'T CREATE FILE \"" + fileName + "\""; }

std::string FileReadErrorText(const std::string& fileName) { return "CAN'T READ FILE \"" + fileName + "\""; }

}  // namespace kvx
