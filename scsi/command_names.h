// Names used in the engine's log lines and progress messages.
#pragma once

#include <cstdint>
#include <string>

namespace kvx::scsi {

// The command name of an opcode, padded with blanks to 22 characters, or the opcode
// as two hexadecimal digits when the engine has no name for it.
const std::string& CommandNames(uint8_t opcode);

}  // namespace kvx::scsi
