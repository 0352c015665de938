// What the timeline page carries of the timeline, and that no text reaches it
// as markup. How the page draws is checked in a browser (hpk-host-html-timeline).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "report/timeline_page.h"

namespace hpk::host {

std::string_view TimelinePageTemplate();

namespace {

std::size_t Count(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(TimelinePage, CarriesAnyBytesAsEscapedJsonText) {
    const std::string hostile = "a</script><!--\xff\"'&";
    std::FILE* quiet = std::tmpfile();
    ASSERT_NE(quiet, nullptr);
    Timeline timeline(false, quiet);
    BindingValue payload;
    payload.Member("text").SetString(hostile);
    timeline.Record("log", hostile, std::move(payload), Facts({{"text", hostile}}));
    TimelinePageFacts facts;
    facts.title = hostile;
    const std::string page = TimelinePage(timeline, facts);
    std::fclose(quiet);

    // Only the template's own elements open and close: the hostile text adds none.
    const std::string_view templ = TimelinePageTemplate();
    EXPECT_EQ(Count(page, "</script"), Count(templ, "</script"));
    EXPECT_EQ(Count(page, "<!--"), Count(templ, "<!--"));
    EXPECT_EQ(page.find('\xff'), std::string::npos);
    // The summary, its payload (as pretty JSON text) and its fact, as the script reads them.
    const std::string escaped = "a\\u003c/script\\u003e\\u003c!--\\ufffd\\\"'\\u0026";
    EXPECT_NE(page.find("\"summary\":\"" + escaped + "\""), std::string::npos);
    EXPECT_NE(page.find("\"payload\":\"{\\n  \\\"text\\\": \\\"" + escaped.substr(0, 6)), std::string::npos);
    EXPECT_NE(page.find("\"detail\":{\"text\":\"" + escaped + "\"}"), std::string::npos);
    EXPECT_NE(page.find("\"title\":\"" + escaped + "\""), std::string::npos);
}

TEST(TimelinePage, CutsPayloadsPastTheLimit) {
    std::FILE* quiet = std::tmpfile();
    ASSERT_NE(quiet, nullptr);
    Timeline timeline(false, quiet);
    BindingValue payload;
    payload.SetString(std::string(kPagePayloadLimit * 2, 'x'));
    timeline.Record("get", "GET /big", std::move(payload));
    const std::string page = TimelinePage(timeline, {});
    std::fclose(quiet);
    EXPECT_NE(page.find("\\n... " + std::to_string(kPagePayloadLimit + 2) + " more bytes (all of it: run --json)"),
              std::string::npos);
    EXPECT_LT(page.size(), TimelinePageTemplate().size() + kPagePayloadLimit + 1024);
}

}  // namespace
}  // namespace hpk::host
