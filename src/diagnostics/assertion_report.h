// Assertion reports: the text block that describes a failed check, logged at
// level Error in category "DBG". Reporting never stops the process; a caller
// that must stop does so itself.
#pragma once

#include <cstdint>
#include <string>

namespace hpk {

// The report text. Null or empty inputs (and line 0) are left out:
//   Assertion failed!\n\n
//   File: <file>\n  Line: <line>\n\n  Function: <function>\n\n
//   Expression: <expression>  then  \n\nDescription: <description>
// Example: expression "E1" alone gives "Assertion failed!\n\nExpression: E1".
[[nodiscard]] std::string BuildAssertionReport(const char* expression, const char* file, std::int32_t line,
                                               const char* function, const char* description);

// Builds the report and logs it through "%s" (level Error, categories DBG).
// Never fails towards the caller.
void ReportAssertion(const char* expression, const char* file, std::int32_t line, const char* function,
                     const char* description);

}  // namespace hpk
