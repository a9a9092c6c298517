// KVXTOOL.EXE: stands for every program the toolbox launches (REINDEXE.EXE,
// WDMODFIC.EXE, TeamViewer.exe, VOLMERA.EXE...). Each start appends one line to the
// file named by KVXTOOL_LOG: its file name, TAB, its arguments as received, TAB, its
// current folder. "/STAY" among the arguments keeps it running until it is killed;
// KVXTOOL_SLEEP_MS makes it last that long before it ends; a program named in
// KVXTOOL_FAIL (';'-separated, letter case ignored) ends with exit code 1.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/win32_scope.h"

namespace {

std::string Environment(const char* name) {
  char buffer[1024] = {};
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// The command line after the program name, as WinMain's command line would give it.
std::string ArgumentsAsReceived() {
  const char* line = GetCommandLineA();
  if (*line == '"') {
    ++line;
    while (*line && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line && *line != ' ' && *line != '\t') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

std::string OwnFileName() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string full = path;
  return full.substr(full.find_last_of("\\/") + 1);
}

void AppendToLog(const std::string& logPath, const std::string& line) {
  const kvx::win32::ScopedHandle file(CreateFileA(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// True when the program's own name is among the ';'-separated names of the list.
bool Listed(const std::string& list, const std::string& name) {
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(';', start), list.size());
    if (lstrcmpiA(list.substr(start, end - start).c_str(), name.c_str()) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

int main() {
  const std::string arguments = ArgumentsAsReceived();
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof folder, folder);
  if (const std::string log = Environment("KVXTOOL_LOG"); !log.empty())
    AppendToLog(log, OwnFileName() + "\t" + arguments + "\t" + folder + "\r\n");
  if (arguments.find("/STAY") != std::string::npos) {
    for (;;) Sleep(1000);
  }
  if (const std::string sleep = Environment("KVXTOOL_SLEEP_MS"); !sleep.empty()) Sleep(std::atoi(sleep.c_str()));
  return Listed(Environment("KVXTOOL_FAIL"), OwnFileName()) ? 1 : 0;
}
