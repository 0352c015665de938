// The JSON reader against the public JSONTestSuite parsing files: y_ accepted,
// n_ rejected (with the exceptions the reader's grammar makes), and every file
// read exactly as the tokenizer's default recursive mode would read it.
#include <gtest/gtest.h>

#include <rapidjson/reader.h>

#include <cstdio>
#include <set>
#include <string>

#include "conformance_util.h"
#include "formats/formats_messages.h"
#include "formats/json_reader.h"
#include "formats_test_util.h"

namespace hpk {
namespace {

const std::string kSuiteDir = test::SuitePath("json/test_parsing");

// n_ files this reader accepts, and why.
const std::set<std::string> kAcceptedInvalid = {
    // A blank document is an empty value, not an error.
    "n_single_space.json",
    "n_structure_no_data.json",
    // The text ends at its first NUL byte; what follows is never looked at.
    "n_multidigit_number_then_00.json",
};

std::size_t MaxNesting(const std::string& text) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

// What the tokenizer's default (recursive) mode makes of `text`, in the
// reader's message form; "" when it accepts it.
std::string RecursiveVerdict(const std::string& text) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    if (*p == '\0') return "";
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    rapidjson::StringStream stream(text.c_str());
    const rapidjson::ParseResult parsed = reader.Parse(stream, handler);
    if (!parsed.IsError()) return "";
    char message[160];
    std::snprintf(message, sizeof message, kMsgJsonError, kMsgJsonParseErrors[parsed.Code()],
                  static_cast<unsigned>(parsed.Offset()));
    return message;
}

TEST(JsonConformance, AcceptsValidAndRejectsInvalidDocuments) {
    const std::vector<std::string> names = test::ListDirectory(kSuiteDir);
    ASSERT_FALSE(names.empty()) << "no JSONTestSuite data in " << kSuiteDir;
    std::size_t checked = 0;
    for (const std::string& name : names) {
        if (name[0] != 'y' && name[0] != 'n') continue;
        SCOPED_TRACE(name);
        std::string text;
        ASSERT_TRUE(test::ReadFileBytes(kSuiteDir + "/" + name, text));
        const BindingResult result = ParseJson(text.c_str());
        const bool shouldAccept = name[0] == 'y' || kAcceptedInvalid.count(name) != 0;
        EXPECT_EQ(result.IsOk(), shouldAccept) << result.ErrorText();
        ++checked;
    }
    EXPECT_EQ(checked, 283u);
}

TEST(JsonConformance, IterativeReadingMatchesTheDefaultMode) {
    const std::vector<std::string> names = test::ListDirectory(kSuiteDir);
    ASSERT_FALSE(names.empty()) << "no JSONTestSuite data in " << kSuiteDir;
    std::size_t compared = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string text;
        ASSERT_TRUE(test::ReadFileBytes(kSuiteDir + "/" + name, text));
        // The recursive mode would overflow the stack on the deepest files.
        if (MaxNesting(text) > 200) continue;
        const BindingResult result = ParseJson(text.c_str());
        EXPECT_EQ(result.ErrorText(), RecursiveVerdict(text));
        ++compared;
    }
    EXPECT_EQ(compared, 315u);
}

}  // namespace
}  // namespace hpk
