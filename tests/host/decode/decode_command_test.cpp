// `hpk-host decode` and its printers: listings, JSON text, exit codes, error
// lines and usage errors, run in-process on temporary files through the
// tool's command line.
#include "commands/decode_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/command_line.h"
#include "formats/formats_test_util.h"
#include "text/value_printer.h"

namespace hpk {
namespace {

struct CommandOutput {
    int exitCode;
    std::string out;
    std::string err;
};

class DecodeCommand : public ::testing::Test {
protected:
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    // Runs `hpk-host decode` with `args`, the input file standing in for "@".
    CommandOutput Run(std::vector<std::string> args, const std::string& input) {
        {
            std::FILE* file = std::fopen(path_.c_str(), "wb");
            EXPECT_NE(file, nullptr);
            std::fwrite(input.data(), 1, input.size(), file);
            std::fclose(file);
        }
        std::vector<const char*> argv = {"hpk-host", "decode"};
        for (std::string& arg : args) {
            if (arg == "@") arg = path_;
            argv.push_back(arg.c_str());
        }
        host::CommandLine line;
        host::AddDecodeCommand(line);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int exitCode = line.Run(static_cast<int>(argv.size()), argv.data());
        std::string out = ::testing::internal::GetCapturedStdout();
        std::string err = ::testing::internal::GetCapturedStderr();
        return {exitCode, out, err};
    }

    std::string path_ = (std::filesystem::temp_directory_path() /
                         ("hpk-decode-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".bin"))
                            .string();
};

struct Row {
    std::vector<std::string> args;
    std::string input;
    int exitCode;
    std::string out;
    std::string err;
};

TEST_F(DecodeCommand, PrintsTreesAndErrors) {
    const Row rows[] = {
        {{"--json", "@"},
         "{\"b\": [-1, 1.5], \"a\": 5}",
         0,
         "structure (2)\n  \"a\": unsigned 5\n  \"b\": collection (2)\n    [0] signed -1\n    [1] float 1.5\n",
         ""},
        {{"--print", "json", "--json", "@"},
         "{\"b\": [1, -1, 1.5, 2.0, null, true, \"x\\n\"], \"a\": {}}",
         0,
         "{\"a\":{},\"b\":[1,-1,1.5,2.0,null,true,\"x\\n\"]}\n",
         ""},
        {{"--yaml", "--print", "typed", "@"},
         "k: [nan, -inf, 1e300, 0.1, -0.0, ~]\n\"q\\\"\": yes\n",
         0,
         "structure (2)\n  \"k\": collection (6)\n    [0] float nan\n    [1] float -inf\n    [2] float 1e+300\n"
         "    [3] float 0.1\n    [4] unsigned 0\n    [5] empty\n  \"q\\\"\": bool true\n",
         ""},
        {{"--yaml", "--print", "json", "@"},
         "[nan, -inf, 1.0e+300, 2.5, !!float 3]",
         0,
         "[\"NaN\",\"-Infinity\",1e+300,2.5,3.0]\n",
         ""},
        {{"--msgpack", "@"},
         test::Bytes("83 a1 62 c4 03 61 62 63 a1 61 a2 01 ff a1 63 cb 80 00 00 00 00 00 00 00"),
         0,
         "structure (3)\n  \"a\": string \"\\u0001\\xff\"\n  \"b\": blob YWJj\n  \"c\": float -0\n",
         ""},
        {{"--msgpack", "--print", "json", "@"}, test::Bytes("a2 01 ff"), 0, "\"\\u0001\\ufffd\"\n", ""},
        {{"--msgpack", "--print", "json", "@"},
         test::Bytes("82 a1 62 c4 03 61 62 63 a1 61 c4 00"),
         0,
         "{\"a\":\"\",\"b\":\"YWJj\"}\n",
         ""},
        {{"--json", "@"}, "", 0, "empty\n", ""},
        {{"--yaml", "@"}, "", 0, "empty\n", ""},
        {{"--msgpack", "@"}, "", 0, "empty\n", ""},
        {{"--json", "--print", "json", "@"}, "null", 0, "null\n", ""},
        {{"--json", "--print", "none", "@"}, "[1]", 0, "", ""},
        {{"--json", "--repeat", "3", "@"}, "7", 0, "unsigned 7\n", ""},
        {{"--json", "--repeat", "0", "@"}, "not json", 0, "", ""},
        // Failures: the reader's text, alone on standard error.
        {{"--json", "@"}, "[1,]", 1, "", "Error: Invalid value. at offset 3.\n"},
        {{"--json", "--repeat", "2", "@"},
         "{} x",
         1,
         "",
         "Error: The document root must not be followed by other values. at offset 3.\n"},
        {{"--yaml", "@"}, "a: *b", 1, "", "Undefined alias encountered: \"b\". At line: 1 col: 4\n"},
        {{"--msgpack", "@"}, test::Bytes("01 02"), 1, "", "Extra MessgePack data found in body\n"},
        {{"--msgpack", "@"}, test::Bytes("c1"), 1, "", "Invalid MessagePack data at position 1.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.front() + " " + row.input);
        const CommandOutput output = Run(row.args, row.input);
        EXPECT_EQ(output.exitCode, row.exitCode);
        EXPECT_EQ(output.out, row.out);
        EXPECT_EQ(output.err, row.err);
    }
}

TEST_F(DecodeCommand, RefusesBadUsage) {
    const std::vector<std::vector<std::string>> rows = {
        {"@"},
        {"--json", "--yaml", "@"},
        {"--json", "--print", "xml", "@"},
        {"--json", "--print"},
        {"--json", "--repeat", "-1", "@"},
        {"--json", "--repeat", "two", "@"},
        {"--json", "--repeat"},
        {"--json", "@", "@"},
        {"--json", "--verbose", "@"},
    };
    for (const auto& args : rows) {
        SCOPED_TRACE(args.size() > 1 ? args[1] : args[0]);
        const CommandOutput output = Run(args, "1");
        EXPECT_EQ(output.exitCode, 2);
        EXPECT_EQ(output.out, "");
        EXPECT_NE(output.err.find("usage: hpk-host decode --json|--yaml|--msgpack"), std::string::npos);
    }
}

TEST_F(DecodeCommand, ReportsUnreadableFile) {
    const CommandOutput output = Run({"--json", "no-such-dir/none.json"}, "");
    EXPECT_EQ(output.exitCode, 1);
    EXPECT_EQ(output.err.rfind("hpk-host decode: cannot read 'no-such-dir/none.json': ", 0), 0u) << output.err;
}

TEST_F(DecodeCommand, MillionDeepDocumentPrintsAsJsonButNotTyped) {
    constexpr std::size_t kDepth = 1000000;
    std::string text(kDepth, '[');
    text.append(kDepth, ']');
    const CommandOutput json = Run({"--json", "--print", "json", "@"}, text);
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.out, text + "\n");
    const CommandOutput typed = Run({"--json", "@"}, text);
    EXPECT_EQ(typed.exitCode, 1);
    EXPECT_EQ(typed.out, "");
    EXPECT_EQ(typed.err, "hpk-host decode: the tree is nested deeper than 1000 levels; use --print json\n");
}

TEST(ValuePrinter, WritesEnumsAndEscapes) {
    BindingValue value;
    value.Element(0).SetEnum(-3, nullptr);
    value.Element(1).SetString(std::string_view("\x7f\"\\\b\f\n\r\t\xe2\x82\xac\xed\xa0\x80\xc0\xaf", 16));
    value.Element(2).Member("\xf0\x9f\x8d\xba").SetSigned(1);
    EXPECT_EQ(host::ValueToJson(value),
              "[-3,\"\x7f\\\"\\\\\\b\\f\\n\\r\\t\xe2\x82\xac\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\","
              "{\"\xf0\x9f\x8d\xba\":1}]");
    std::string typed;
    ASSERT_TRUE(host::ValueToTyped(value, typed));
    // The typed listing is not JSON: it shows the bytes that are not UTF-8 as they came.
    EXPECT_EQ(typed,
              "collection (3)\n  [0] enum -3\n"
              "  [1] string \"\x7f\\\"\\\\\\b\\f\\n\\r\\t\xe2\x82\xac\\xed\\xa0\\x80\\xc0\\xaf\"\n"
              "  [2] structure (1)\n    \"\xf0\x9f\x8d\xba\": signed 1\n");
}

}  // namespace
}  // namespace hpk
