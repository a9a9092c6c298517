// What the exception being handled says, for the log line of a worker that caught it.
#pragma once

#include <exception>
#include <string>

namespace kvx {

inline constexpr const char* kUnknownExceptionText = "unknown exception";

// Only inside a catch block: the exception's what(), or kUnknownExceptionText when it
// is not a std::exception.
inline std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return kUnknownExceptionText;
  }
}

}  // namespace kvx
