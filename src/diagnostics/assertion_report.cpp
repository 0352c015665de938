// Building and logging assertion reports.
#include "diagnostics/assertion_report.h"

#include "diagnostics/diagnostics_messages.h"
#include "diagnostics/log_manager.h"

namespace hpk {
namespace {
bool HasText(const char* text) { return text != nullptr && *text != '\0'; }
}  // namespace

std::string BuildAssertionReport(const char* expression, const char* file, std::int32_t line, const char* function,
                                 const char* description) {
    std::string report = kAssertionHeading;
    if (HasText(file)) {
        report += kAssertionFile;
        report += file;
        report += '\n';
    }
    if (line != 0) {
        report += kAssertionLine;
        report += std::to_string(line);
        report += "\n\n";
    }
    if (HasText(function)) {
        report += kAssertionFunction;
        report += function;
        report += "\n\n";
    }
    if (HasText(expression)) {
        report += kAssertionExpression;
        report += expression;
    }
    if (HasText(description)) {
        report += "\n\n";
        report += kAssertionDescription;
        report += description;
    }
    return report;
}

void ReportAssertion(const char* expression, const char* file, std::int32_t line, const char* function,
                     const char* description) {
    try {
        const std::string report = BuildAssertionReport(expression, file, line, function, description);
        LogMessage(LogLevel::Error, kLogCategoryDbg, kAssertionLogFormat, report.c_str());
    } catch (...) {
        // Out of memory while reporting: nothing sensible is left to do.
    }
}

}  // namespace hpk
