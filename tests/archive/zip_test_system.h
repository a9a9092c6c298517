// A library table for tests: "loads" the zip libraries as functions of the test, and
// records warning boxes, information boxes and exit requests instead of showing or
// ending anything. By default the entry points are the zip stand-in's own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/zip_records.h"

namespace kvxtest {

struct ZipTestSystem {
  std::string missingLibrary;  // file name whose load fails
  std::string missingEntry;    // entry name that is not exported
  int loads = 0;
  int releases = 0;
  std::vector<std::string> warnings;
  std::vector<std::string> informs;
  std::vector<int> exits;
  std::function<int32_t(kvx::ZipParams*)> dzip;
  std::function<int32_t(kvx::UnzipParams*)> dunzip;
};

// Puts a fresh table in place for the current test and returns it.
ZipTestSystem& InstallZipTestSystem();
ZipTestSystem& TestSystem();

}  // namespace kvxtest
