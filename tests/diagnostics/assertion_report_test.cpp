#include "diagnostics/assertion_report.h"

#include <gtest/gtest.h>

#include "diagnostics/log_manager.h"
#include "support/capture_log_target.h"

namespace hpk {
namespace {

TEST(AssertionReport, LeavesOutEmptyParts) {
    struct Row {
        const char* expression;
        const char* file;
        std::int32_t line;
        const char* function;
        const char* description;
        const char* expected;
    };
    const Row rows[] = {
        {"E1", nullptr, 0, nullptr, nullptr, "Assertion failed!\n\nExpression: E1"},
        {"x", "a", 7, "f", "d",
         "Assertion failed!\n\nFile: a\nLine: 7\n\nFunction: f\n\nExpression: x\n\nDescription: d"},
        {nullptr, nullptr, -3, nullptr, nullptr, "Assertion failed!\n\nLine: -3\n\n"},
        {"", "", 0, "", "", "Assertion failed!\n\n"},
        {nullptr, nullptr, 0, nullptr, "only words", "Assertion failed!\n\n\n\nDescription: only words"},
        {"ok", "dir\\file.cpp", 0, "Run", nullptr,
         "Assertion failed!\n\nFile: dir\\file.cpp\nFunction: Run\n\nExpression: ok"},
        {"%s%n", nullptr, 2147483647, nullptr, nullptr, "Assertion failed!\n\nLine: 2147483647\n\nExpression: %s%n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(BuildAssertionReport(row.expression, row.file, row.line, row.function, row.description),
                  row.expected);
    }
}

TEST(AssertionReport, IsLoggedAsAnErrorInCategoryDbg) {
    const LogManagerApi& api = GetLogManagerApi();
    api.init();
    for (LogTargetInterface* target : {api.stdErrTarget(), api.debuggerTarget()}) target->detach(target);
    {
        CaptureLogTarget capture;
        capture.Configure({LogLevel::Okay, 0, 0, "#L| #G| #M"});
        ReportAssertion("a % b == 0", "m.cpp", 12, nullptr, "ALE-EECF0606");
        ASSERT_EQ(capture.Lines().size(), 1u);
        const CaptureLogTarget::Line line = capture.Lines()[0];
        EXPECT_EQ(line.level, 2);
        EXPECT_EQ(line.categories, kLogCategoryDbg);
        EXPECT_EQ(line.expanded,
                  " ERROR| DBG| Assertion failed!\n\nFile: m.cpp\nLine: 12\n\nExpression: a % b == 0\n\n"
                  "Description: ALE-EECF0606\n");
    }
    api.shutdown();
}

}  // namespace
}  // namespace hpk
