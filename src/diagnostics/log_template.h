// Laying out a log record: level names, timestamps and the target templates.
//
// Template grammar: every character is copied except "#" and the character
// after it, which become:
//   #D  timestamp "2024-05-01T13:45:07.123"      #E  executable name
//   #G  category names "DBG;GEN"                  #H  uptime "000012.345"
//   #L  level name "  WARN"                       #M  the message
//   #T  calling thread's identifier, printf "%p"
//   #x  for any other x: x itself (so "##" is "#"); a final lone "#" ends the text
// The result always ends in exactly one line break.
// Example: "#L|#M" with level 2 and message "x" gives " ERROR|x\n".
#pragma once

#include <cstddef>
#include <cstdint>

#include "diagnostics/log_interfaces.h"

namespace hpk {

// Six-character level name; "  ????" outside 0..3.
const char* LevelName(std::int32_t level);

// "%04d-%02d-%02dT%02d:%02d:%02d.%03d" of the record's time fields.
std::size_t FormatTimestamp(char* out, std::size_t size, const LogRecord& time);
// "%04d-%02d-%02dT%02d-%02d-%02d": no milliseconds and no ":", for file names.
std::size_t FormatFileTimestamp(char* out, std::size_t size, const LogRecord& time);

// Fills the seven time fields with the local time.
void FillLocalTime(LogRecord& record);

// Expands `templateText` (null reads as empty) for `record` into `out`.
// Expansion stops while room remains for the final line break and the NUL, and
// each replacement is cut to what fits. Returns the characters written (the
// NUL not counted); with size 0 nothing is written, with size 1 only the NUL.
std::size_t ExpandLogTemplate(char* out, std::size_t size, const char* templateText, const LogRecord& record,
                              const char* executableName);

}  // namespace hpk
