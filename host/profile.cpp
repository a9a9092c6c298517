#include "host/profile.h"

#include "host/host_rules.h"

namespace kvx {

std::string ValueOfName(const std::vector<std::string>& lines, std::string_view name) {
  const std::string wanted = ASCIIUpper(name);
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos && ASCIIUpper(line.substr(0, equals)) == wanted) return line.substr(equals + 1);
  }
  return {};
}

}  // namespace kvx
