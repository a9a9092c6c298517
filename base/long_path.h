// The "\\?\" form of a path, in which the wide Win32 calls take paths up to 32,767
// characters instead of MAX_PATH. Windows only: for the *_win32.cpp files.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

// "\\?\C:\..." or "\\?\UNC\server\share\..." for an absolute path (a relative one is made
// absolute first, "." and ".." resolved); a path already in that form, or a device path
// ("\\.\..."), comes back as given.
std::wstring LongPathForm(std::wstring_view path);

// The usual form of a path a call gave back in the long form, for showing and comparing.
std::wstring WithoutLongPrefix(std::wstring_view path);

}  // namespace kvx
