// KVXTOOL.EXE natively: the same stand-in for the programs the toolbox launches, under
// the same names and environment keys (KVXTOOL_LOG, KVXTOOL_SLEEP_MS, KVXTOOL_FAIL,
// "/STAY"). Its arguments arrive split: the logged text joins them with blanks, an
// argument with a blank in double quotes.
#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ArgumentsAsReceived(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (i > 1) line += ' ';
    line += argument.find_first_of(" \t") == std::string::npos ? argument : "\"" + argument + "\"";
  }
  return line;
}

std::string OwnFileName(const char* argv0) {
  const std::string path = argv0;
  return path.substr(path.find_last_of("\\/") + 1);
}

void AppendToLog(const std::string& logPath, const std::string& line) {
  if (FILE* file = std::fopen(logPath.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
  }
}

// True when the program's own name is among the ';'-separated names of the list.
bool Listed(const std::string& list, const std::string& name) {
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(';', start), list.size());
    if (strcasecmp(list.substr(start, end - start).c_str(), name.c_str()) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string arguments = ArgumentsAsReceived(argc, argv);
  const std::string name = OwnFileName(argc > 0 ? argv[0] : "");
  char folder[PATH_MAX] = {};
  if (!getcwd(folder, sizeof folder)) folder[0] = '\0';
  if (const std::string log = Environment("KVXTOOL_LOG"); !log.empty())
    AppendToLog(log, name + "\t" + arguments + "\t" + folder + "\r\n");
  if (arguments.find("/STAY") != std::string::npos) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  if (const std::string sleep = Environment("KVXTOOL_SLEEP_MS"); !sleep.empty())
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep.c_str())));
  return Listed(Environment("KVXTOOL_FAIL"), name) ? 1 : 0;
}
