// The entry of every test executable: googletest's, plus one line per skipped
// test naming it and its reason. The brief output only counts skips, and a
// skipped test must not pass unseen: scripts/test.sh lists these lines in its
// summary.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

class SkipReporter : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo& test) override {
        const ::testing::TestResult& result = *test.result();
        if (!result.Skipped()) return;
        std::string reason;
        for (int i = 0; i < result.total_part_count(); ++i) {
            const ::testing::TestPartResult& part = result.GetTestPartResult(i);
            if (part.skipped() && part.message()[0] != '\0') reason = part.message();
        }
        if (reason.empty()) reason = "no reason given";
        for (char& c : reason) {
            if (c == '\n') c = ' ';  // one line per skipped test
        }
        std::printf("[  SKIPPED ] %s.%s: %s\n", test.test_suite_name(), test.name(), reason.c_str());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new SkipReporter);
    return RUN_ALL_TESTS();
}
