// Every text of the diagnostics subsystem that reaches a reader: level and
// category names, target names, the assertion report's pieces and the trace
// start-up payload. Placeholders are listed beside each template.
#pragma once

namespace hpk {

// Level names, six characters, right-aligned; indexed by LogLevel.
inline constexpr const char kLevelNameOkay[] = "  OKAY";
inline constexpr const char kLevelNameWarn[] = "  WARN";
inline constexpr const char kLevelNameError[] = " ERROR";
inline constexpr const char kLevelNameAlways[] = "ALWAYS";
// A level outside 0..3 (only a caller's mistake produces one).
inline constexpr const char kLevelNameUnknown[] = "  ????";

// Preset category names of slots 0..7, and the name of an unregistered slot.
inline constexpr const char* const kPresetCategoryNames[8] = {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"};
inline constexpr const char kUnregisteredCategoryName[] = "???";

// Executable name until the process path has been read.
inline constexpr const char kUnknownExecutableName[] = "<unknown>";

// Target class names, as the find-by-name entry compares them.
inline constexpr const char kLogTargetName[] = "LogTarget";
inline constexpr const char kBaseConsoleLogTargetName[] = "BaseConsoleLogTarget";
inline constexpr const char kStdErrLogTargetName[] = "StdErrLogTarget";
inline constexpr const char kStdOutLogTargetName[] = "StdOutLogTarget";
inline constexpr const char kDebuggerConsoleLogTargetName[] = "DebuggerConsoleLogTarget";

// Default templates. Codes: #D timestamp, #E executable name, #G category
// names, #H uptime, #L level name, #M message, #T thread identifier.
inline constexpr const char kDefaultLogTemplate[] = "#D| #L| #G| #M";
inline constexpr const char kConsoleLogTemplate[] = "#E(#T): #L| #M";
inline constexpr const char kMessageOnlyLogTemplate[] = "#M";

// printf formats: %04d-%02d-%02d date, then time (with milliseconds for the
// log timestamp; with "-" and no milliseconds for file names).
inline constexpr const char kTimestampFormat[] = "%04d-%02d-%02dT%02d:%02d:%02d.%03d";
inline constexpr const char kFileTimestampFormat[] = "%04d-%02d-%02dT%02d-%02d-%02d";
// Uptime: whole seconds, then the milliseconds part.
inline constexpr const char kUptimeFormat[] = "%06d.%03d";

// Assertion report pieces, in the order they are written.
inline constexpr const char kAssertionHeading[] = "Assertion failed!\n\n";
inline constexpr const char kAssertionFile[] = "File: ";
inline constexpr const char kAssertionLine[] = "Line: ";
inline constexpr const char kAssertionFunction[] = "Function: ";
inline constexpr const char kAssertionExpression[] = "Expression: ";
inline constexpr const char kAssertionDescription[] = "Description: ";
// The report is logged through this format: %s the report text.
inline constexpr const char kAssertionLogFormat[] = "%s";

// Payload text of the start-up trace event (sent with its NUL).
inline constexpr const char kTraceMainThreadText[] = "Main thread";

}  // namespace hpk
