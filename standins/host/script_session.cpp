// Script mode: inputs and yes/no answers come from a script, and every call is
// appended to a transcript, one line each, so that tests see the exact bytes.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "standins/host/host_commands.h"
#include "standins/host/host_session.h"

namespace kvxhost {
namespace {

struct Answer {
  std::string verb;   // SAISIE or OUINON
  std::string value;  // button code, or 1/0
  std::string line;
};

std::vector<Answer> ReadScript(const std::string& path) {
  std::vector<Answer> answers;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    Answer answer{line.substr(0, blank), blank == std::string::npos ? "" : line.substr(blank + 1), line};
    answers.push_back(std::move(answer));
  }
  return answers;
}

// Bytes below 20h are written as <XX> so that each call stays on one line.
std::string Printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

class ScriptSession final : public HostSession {
 public:
  ScriptSession(const std::string& scriptPath, const std::string& logPath)
      : answers_(ReadScript(scriptPath)), logPath_(logPath) {}

  void Init() override { Log("INIT"); }

  int32_t Execute(kvx::HostLinkRecord& link, std::string_view command) override {
    Log("CMD " + Printable(command));
    const HostCommandText parsed = ParseCommand(command);
    switch (parsed.verb) {
      case Verb::Bibli: return LibraryAnswer(parsed.arguments);
      case Verb::Saisie: WriteButtonCode(link, TakeAnswer("SAISIE", "ESC")); return 0;
      case Verb::OuiNon: return TakeAnswer("OUINON", "0") == "1" ? 1 : 0;
      default: return 0;
    }
  }

  void Term() override { Log("TERM"); }

  void ReleaseContext(int32_t value) override { Log("HFTERMINE " + std::to_string(value)); }

 private:
  // The next answer when its verb matches; otherwise the fallback, so a broken
  // script ends the session instead of hanging it.
  std::string TakeAnswer(std::string_view verb, std::string fallback) {
    if (next_ >= answers_.size()) {
      Log("SCRIPT-END");
      return fallback;
    }
    const Answer& answer = answers_[next_];
    if (answer.verb != verb) {
      Log("MISMATCH " + std::string(verb) + " " + answer.line);
      return fallback;
    }
    ++next_;
    return answer.value;
  }

  void Log(const std::string& line) {
    if (logPath_.empty()) return;
    std::ofstream out(logPath_, std::ios::binary | std::ios::app);
    out << line << '\n';
  }

  std::vector<Answer> answers_;
  size_t next_ = 0;
  std::string logPath_;
};

}  // namespace

std::unique_ptr<HostSession> MakeScriptSession(const std::string& scriptPath, const std::string& logPath) {
  return std::make_unique<ScriptSession>(scriptPath, logPath);
}

void WriteButtonCode(kvx::HostLinkRecord& link, std::string_view code) {
  for (size_t i = 0; i < kvx::kLinkButtonCodeSize; ++i)
    link.bytes[kvx::kLinkButtonCode + i] = i < code.size() ? static_cast<uint8_t>(code[i]) : 0;
}

}  // namespace kvxhost
