// The explorer's parts that decide on their own: text patterns of served
// lists, the worker line format, the space file's checks, and that a seed
// names the same session every time.
#include <gtest/gtest.h>

#include "explore/generate.h"
#include "explore/pattern.h"
#include "explore/worker.h"

namespace hpk::host {
namespace {

struct PatternCase {
    const char* pattern;
    const char* text;
    bool matches;
};

TEST(ExplorePattern, MatchesWholeTexts) {
    const PatternCase cases[] = {
        {"filter_level_[1-9][0-9]*", "filter_level_42", true},
        {"filter_level_[1-9][0-9]*", "filter_level_042", false},
        {"filter_level_[1-9][0-9]*", "filter_level_", false},
        {"filter_ranked_(enabled|disabled)", "filter_ranked_disabled", true},
        {"filter_ranked_(enabled|disabled)", "filter_ranked_enabledx", false},
        {"filter_location_([a-z0-9._~-]|%[0-9A-F]{2})*", "filter_location_s%C3%A3o_paulo", true},
        {"filter_location_([a-z0-9._~-]|%[0-9A-F]{2})*", "filter_location_s%c3%a3o", false},
        {"filter_location_([a-z0-9._~-]|%[0-9A-F]{2})*", "filter_location_US", false},
        {"filter_location_([a-z0-9._~-]|%[0-9A-F]{2})*", "filter_location_", true},
        {"a(b|c)+d?", "abcbd", true},
        {"a(b|c)+d?", "ad", false},
        {"x.\\.", "xy.", true},
        {"x.\\.", "xyz", false},
    };
    for (const PatternCase& c : cases) {
        const Outcome<TextPattern> pattern = TextPattern::Compile(c.pattern);
        ASSERT_TRUE(pattern.IsOk()) << c.pattern << ": " << pattern.Error();
        EXPECT_EQ(pattern.Value().Matches(c.text), c.matches) << c.pattern << " against " << c.text;
    }
}

TEST(ExplorePattern, RefusesBrokenPatterns) {
    for (const char* broken : {"(ab", "ab)", "[a-z", "*a", "a{x}", "a{3"}) {
        const Outcome<TextPattern> pattern = TextPattern::Compile(broken);
        EXPECT_FALSE(pattern.IsOk()) << broken;
        EXPECT_FALSE(pattern.Error().empty()) << broken;
    }
}

TEST(ExploreWorker, ReadsItsOwnLines) {
    WorkerLine line;
    ASSERT_TRUE(ParseWorkerLine("F 17 3 40 1 served-is-published 2 /x serves 1 but 2", line));
    EXPECT_EQ(line.kind, WorkerLineKind::Failed);
    EXPECT_EQ(line.index, 17u);
    EXPECT_EQ(line.steps, 3u);
    EXPECT_EQ(line.checks, 40u);
    EXPECT_TRUE(line.metamorphic);
    EXPECT_EQ(line.invariant, "served-is-published");
    EXPECT_EQ(line.step, 2u);
    EXPECT_EQ(line.message, "/x serves 1 but 2");
    ASSERT_TRUE(ParseWorkerLine("S 4 20 90 0", line));
    EXPECT_EQ(line.kind, WorkerLineKind::Passed);
    EXPECT_FALSE(line.metamorphic);
    EXPECT_FALSE(ParseWorkerLine("S x", line));
    EXPECT_FALSE(ParseWorkerLine("progress", line));

    // What a worker writes reads back, a message over several lines as one.
    const WorkerLine written{WorkerLineKind::Failed, 9, 2, 7, false, "no-hang", 1, "ran\nlong"};
    ::testing::internal::CaptureStdout();
    WriteWorkerLine(written);
    WriteWorkerLine({WorkerLineKind::Unusable, 0, 0, 0, false, {}, 0, "no plugin"});
    const std::string text = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(text, "F 9 2 7 0 no-hang 1 ran long\nX no plugin\n");
    ASSERT_TRUE(ParseWorkerLine(text.substr(0, text.find('\n')), line));
    EXPECT_EQ(line.kind, WorkerLineKind::Failed);
    EXPECT_EQ(line.index, 9u);
    EXPECT_EQ(line.message, "ran long");
}

constexpr char kSpace[] = R"(
served:
  /p/v1/list: {list: items, order: ['a[0-9]', 'b']}
inputs:
  /in/v1/x:
    at_start: 50
    variants:
      - {value: {n: 1}, weight: 3}
      - {error: {status: 503, message: down}}
  /in/v1/y:
    variants: [{value: 2 days ago}]
steps: {update: 3, serve: 1, delete: 1, repeat: 1, get: 1}
gets: [/p/v1/list]
)";

TEST(ExploreSpace, ASeedNamesOneSession) {
    const Outcome<Space> read = SpaceFromText(kSpace);
    ASSERT_TRUE(read.IsOk()) << read.Error();
    const Space& space = read.Value();
    ASSERT_EQ(space.inputs.size(), 2u);
    EXPECT_EQ(space.inputs[0].valueWeights, (std::vector<std::uint32_t>{3, 0}));
    const std::string first = ValueKey(GenerateSession(space, 7, 3, 20).document);
    EXPECT_EQ(ValueKey(GenerateSession(space, 7, 3, 20).document), first);
    EXPECT_NE(ValueKey(GenerateSession(space, 7, 4, 20).document), first);
    EXPECT_NE(ValueKey(GenerateSession(space, 8, 3, 20).document), first);
    EXPECT_EQ(GenerateSession(space, 7, 3, 20).document.Member("steps").Size(), 20u);
}

TEST(ExploreSpace, NamesWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"inputs: {}", "'inputs' must name at least one resource"},
        {"inputs: {/a: {variants: [{value: 1, eror: 2}]}}", "unknown key 'eror'"},
        {"inputs: {a: {variants: [{value: 1}]}}", "a URI must start with"},
        {"inputs: {/a: {variants: [{value: 1}]}}\nsteps: {get: 1}", "get steps need 'gets'"},
        {"inputs: {/a: {variants: [{value: 1}]}}\nserved: {/p: {order: ['(x']}}", "a group without its ')'"},
        {"inputs: {/a: {variants: [{value: 1}]}}\nsteps: {jump: 1}", "unknown key 'jump'"},
    };
    for (const auto& [text, message] : cases) {
        const Outcome<Space> read = SpaceFromText(text);
        EXPECT_FALSE(read.IsOk()) << text;
        EXPECT_NE(read.Error().find(message), std::string::npos) << text << " gave: " << read.Error();
    }
}

}  // namespace
}  // namespace hpk::host
