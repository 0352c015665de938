// How the timeline reads: stamp, nesting, kind column, summary and payload.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/timeline.h"

namespace hpk::host {
namespace {

// The printed lines with each line's millisecond stamp cut off.
std::string Printed(std::FILE* file) {
    std::rewind(file);
    std::string out;
    char line[512];
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        std::string text(line);
        const std::size_t stamp = text.find(" ms  ");
        out += stamp == std::string::npos ? text : "#" + text.substr(stamp + 5);
    }
    return out;
}

TEST(Timeline, PrintsNestedEntriesWithTheirPayloads) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        Timeline timeline(true, file);
        timeline.Record("init", "plugin handle 7");
        {
            TimelineDepth depth(timeline);
            BindingValue body;
            body.Member("locale").SetString("pl_PL");
            timeline.Record("request", "GET /x  ->  200", std::move(body));
            BindingValue wide;
            wide.Member("text").SetString(std::string(120, 'a'));
            timeline.Record("post", "Event", std::move(wide));
        }
        timeline.Record("step", "2: expect");
        ASSERT_EQ(timeline.Entries().size(), 4u);
        EXPECT_EQ(timeline.Entries()[1].depth, 1);
        EXPECT_EQ(timeline.Entries()[3].depth, 0);
    }
    const std::string expected = std::string("#init        plugin handle 7\n") +
                                 "#  request     GET /x  ->  200  {\"locale\":\"pl_PL\"}\n" + "#  post        Event\n" +
                                 std::string(27, ' ') + "{\"text\":\"" + std::string(120, 'a') + "\"}\n" +
                                 "\n#== step 2: expect\n";
    EXPECT_EQ(Printed(file), expected);
    std::fclose(file);
}

TEST(Timeline, KeepsEntriesForTheJsonDocumentWithoutPrinting) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    Timeline timeline(false, file);
    timeline.Record("log", "ERROR  text", {}, Facts({{"level", "ERROR"}, {"text", "text"}}));
    timeline.Heading("");
    timeline.Heading("== end");
    EXPECT_EQ(Printed(file), "");
    // Headings are kept for the page, with where they fall among the entries.
    ASSERT_EQ(timeline.Headings().size(), 1u);
    EXPECT_EQ(timeline.Headings()[0].before, 1u);
    EXPECT_EQ(timeline.Headings()[0].text, "== end");
    BindingValue value = timeline.ToValue();
    ASSERT_EQ(value.Size(), 1u);
    const BindingValue& entry = value.Element(0);
    EXPECT_EQ(entry.Member("kind").AsString(), "log");
    EXPECT_EQ(entry.Member("level").AsString(), "ERROR");
    EXPECT_EQ(entry.Member("depth").AsUnsigned(), 0u);
    EXPECT_FALSE(entry.HasMember("payload"));
    EXPECT_EQ(entry.Member("ms").Kind(), BindingValueKind::Float);
    std::fclose(file);
}

}  // namespace
}  // namespace hpk::host
