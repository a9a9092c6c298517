#include "host/windows_version.h"

namespace kvx {

// No Windows runs here: not the NT platform, so never the shell's CD writing service.
WindowsVersion RunningWindowsVersion() { return {}; }

}  // namespace kvx
