// JSON reading: how tokenizer events build the tree, number kinds, duplicate
// keys, blank documents, and the exact error texts with their offsets.
#include "formats/json_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/binding_value_parts.h"
#include "formats_test_util.h"

namespace hpk {
namespace {

using test::Typed;

struct ValueRow {
    const char* json;
    const char* typed;
};

TEST(JsonReader, BuildsTreesFromEvents) {
    const ValueRow rows[] = {
        {"", "empty\n"},
        {" \t\r\n ", "empty\n"},
        {"null", "empty\n"},
        {"5", "unsigned 5\n"},
        {"0", "unsigned 0\n"},
        {"-5", "signed -5\n"},
        {"-0", "signed 0\n"},
        {"5.0", "float 5\n"},
        {"1e2", "float 100\n"},
        {"4294967296", "unsigned 4294967296\n"},
        {"18446744073709551615", "unsigned 18446744073709551615\n"},
        {"18446744073709551616", "float 18446744073709551616\n"},
        {"-2147483649", "signed -2147483649\n"},
        {"-9223372036854775808", "signed -9223372036854775808\n"},
        {"-9223372036854775809", "float -9223372036854775808\n"},
        {"true", "bool true\n"},
        {"false", "bool false\n"},
        {"\"a\\u00e9\\n\"", "string \"a\xc3\xa9\\n\"\n"},
        {"\"\\u0000x\"", "string \"\\u0000x\"\n"},
        {"[]", "collection (0)\n"},
        {"{}", "structure (0)\n"},
        {"[null]", "collection (1)\n  [0] empty\n"},
        {"[1, [2, null], {}]",
         "collection (3)\n  [0] unsigned 1\n  [1] collection (2)\n    [0] unsigned 2\n    [1] empty\n  [2] structure "
         "(0)\n"},
        {"{\"a\": null}", "structure (1)\n  \"a\": empty\n"},
        // Members in key order, byte-wise.
        {"{\"b\": 1, \"a\": 2, \"ab\": 3, \"B\": 4}",
         "structure (4)\n  \"B\": unsigned 4\n  \"a\": unsigned 2\n  \"ab\": unsigned 3\n  \"b\": unsigned 1\n"},
        // Repeated keys: scalars replace, null leaves the value, objects merge,
        // arrays concatenate.
        {"{\"a\": 1, \"a\": 2}", "structure (1)\n  \"a\": unsigned 2\n"},
        {"{\"a\": 1, \"a\": null}", "structure (1)\n  \"a\": unsigned 1\n"},
        {"{\"a\": {\"x\": 1}, \"a\": {\"y\": 2}}",
         "structure (1)\n  \"a\": structure (2)\n    \"x\": unsigned 1\n    \"y\": unsigned 2\n"},
        {"{\"a\": [1], \"a\": [2]}",
         "structure (1)\n  \"a\": collection (2)\n    [0] unsigned 1\n    [1] unsigned 2\n"},
        {"{\"a\": [1], \"a\": 3}", "structure (1)\n  \"a\": unsigned 3\n"},
        {"  [1]  \n", "collection (1)\n  [0] unsigned 1\n"},
        // Strings are decoded in place in a copy of the text: escapes that
        // shorten them must not disturb the names and values after them.
        {"{\"a\\u0041b\": \"x\\ty\", \"n\\\"q\": \"\\ud83d\\ude00!\", \"z\": \"\\/\"}",
         "structure (3)\n  \"aAb\": string \"x\\ty\"\n  \"n\\\"q\": string \"\xf0\x9f\x98\x80!\"\n  \"z\": string "
         "\"/\"\n"},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.json);
        const BindingResult result = ParseJson(row.json);
        ASSERT_TRUE(result.IsOk()) << result.ErrorText();
        EXPECT_EQ(Typed(result.Value()), row.typed);
    }
}

struct ErrorRow {
    const char* json;
    const char* message;
};

TEST(JsonReader, ReportsTokenizerErrorsWithOffsets) {
    const ErrorRow rows[] = {
        {"{} 1", "Error: The document root must not be followed by other values. at offset 3."},
        {"[1] [2]", "Error: The document root must not be followed by other values. at offset 4."},
        {"nul", "Error: Invalid value. at offset 3."},
        {"]", "Error: Invalid value. at offset 0."},
        {"  }", "Error: Invalid value. at offset 2."},
        {",1", "Error: Invalid value. at offset 0."},
        {"\n:", "Error: Invalid value. at offset 1."},
        {"[1,]", "Error: Invalid value. at offset 3."},
        {"[NaN]", "Error: Invalid value. at offset 1."},
        {"Infinity", "Error: Invalid value. at offset 0."},
        {"// note\n1", "Error: Invalid value. at offset 0."},
        {"{1: 2}", "Error: Missing a name for object member. at offset 1."},
        {"{\"a\",}", "Error: Missing a colon after a name of object member. at offset 4."},
        {"{\"a\" 1}", "Error: Missing a colon after a name of object member. at offset 5."},
        {"{\"a\": 1 \"b\": 2}", "Error: Missing a comma or '}' after an object member. at offset 8."},
        {"{\"a\": 1,}", "Error: Missing a name for object member. at offset 8."},
        {"[1 2]", "Error: Missing a comma or ']' after an array element. at offset 3."},
        {"[1", "Error: Missing a comma or ']' after an array element. at offset 2."},
        {"\"\\u12G4\"", "Error: Incorrect hex digit after \\u escape in string. at offset 1."},
        {"\"\\uD800\"", "Error: The surrogate pair in string is invalid. at offset 1."},
        {"\"\\uD800\\u0041\"", "Error: The surrogate pair in string is invalid. at offset 1."},
        {"\"\\x\"", "Error: Invalid escape character in string. at offset 1."},
        {"\"abc", "Error: Missing a closing quotation mark in string. at offset 4."},
        {"\"a\x01\"", "Error: Invalid escape character in string. at offset 2."},
        {"1e400", "Error: Number too big to be stored in double. at offset 0."},
        {"1.", "Error: Miss fraction part in number. at offset 2."},
        {"1.e1", "Error: Miss fraction part in number. at offset 2."},
        {"1e", "Error: Miss exponent in number. at offset 2."},
        {"1e+", "Error: Miss exponent in number. at offset 3."},
    };
    for (const ErrorRow& row : rows) {
        SCOPED_TRACE(row.json);
        const BindingResult result = ParseJson(row.json);
        ASSERT_FALSE(result.IsOk());
        EXPECT_EQ(result.ErrorText(), row.message);
    }
}

TEST(JsonReader, DeepDocumentsReadAgainDecodeTheirStringsAfresh) {
    // Past the recursion handover the text is read a second time, from a
    // fresh copy: the first reading decoded strings into its own.
    std::string json;
    for (int i = 0; i < 300; ++i) json += "[\"\\u00e9\\n\",";
    json += "{\"k\\u0041\": \"v\"}";
    for (int i = 0; i < 300; ++i) json += "]";
    const BindingResult result = ParseJson(json.c_str());
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    const BindingValue* node = &result.Value();
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(node->Size(), 2u);
        EXPECT_EQ(node->Element(0).AsString(), "\xc3\xa9\n");
        node = &node->Element(1);
    }
    EXPECT_EQ(node->Member("kA").AsString(), "v");
}

TEST(JsonReader, MillionDeepArrayCostsNoCallStack) {
    constexpr std::size_t kDepth = 1000000;
    std::string text(kDepth, '[');
    text.append(kDepth, ']');
    const BindingResult result = ParseJson(text.c_str());
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    EXPECT_EQ(test::FirstChildDepth(result.Value()), kDepth - 1);
}

TEST(JsonReader, MillionDeepUnclosedArrayFailsCleanly) {
    constexpr std::size_t kDepth = 1000000;
    const std::string text(kDepth, '[');
    const BindingResult result = ParseJson(text.c_str());
    ASSERT_FALSE(result.IsOk());
    EXPECT_EQ(result.ErrorText(), "Error: Invalid value. at offset 1000000.");
}

TEST(JsonReader, NestingAroundTheRecursionHandoverReadsAlike) {
    // Documents just below, at and beyond the depth where reading moves off the
    // call stack: same trees, and an error after the deep part keeps its offset.
    for (const std::size_t depth :
         {std::size_t{1}, std::size_t{127}, std::size_t{128}, std::size_t{129}, std::size_t{130}, std::size_t{1000}}) {
        SCOPED_TRACE(depth);
        const std::string text = "{\"before\":1,\"deep\":" + std::string(depth, '[') + "\"x\"" +
                                 std::string(depth, ']') + ",\"after\":{\"a\":true}}";
        const BindingResult result = ParseJson(text.c_str());
        ASSERT_TRUE(result.IsOk()) << result.ErrorText();
        EXPECT_EQ(result.Value().Member("after").Member("a").AsBool(), true);
        EXPECT_EQ(result.Value().Member("before").AsUnsigned(), 1u);
        const BindingValue* inner = &result.Value().Member("deep");
        for (std::size_t i = 0; i < depth; ++i) inner = &inner->Element(0);
        EXPECT_EQ(inner->AsString(), "x");

        const std::string broken = text.substr(0, text.size() - 1) + ",}";
        const BindingResult failed = ParseJson(broken.c_str());
        ASSERT_FALSE(failed.IsOk());
        EXPECT_EQ(failed.ErrorText(),
                  "Error: Missing a name for object member. at offset " + std::to_string(broken.size() - 1) + ".");
    }
}

// Records of one kind repeat their keys: each order is sorted once and then
// reused, and a repeated key (which makes the reader forget those orders)
// must not leave a stale one behind. Every structure must come out a sound
// tree that later insertions keep sound.
TEST(JsonReader, RecordsOfOneShapeKeepSoundTrees) {
    const char* keys[] = {"id", "id_str", "name", "in_reply_to", "in_reply_to_id", "a", "b", "zz", "z", "k"};
    std::string text = "[";
    for (int record = 0; record < 60; ++record) {
        text += record == 0 ? "{" : ",{";
        const int count = 3 + record % 8;
        for (int i = 0; i < count; ++i) {
            const int key = (i * 11 + record / 16) % count;  // a few orders, each seen several times
            text += std::string(i == 0 ? "" : ",") + "\"" + keys[key] + "\":" + std::to_string(key);
        }
        if (record == 30) text += ",\"a\":{\"x\":1},\"a\":{\"y\":2}";  // a repeat in the middle of the run
        text += "}";
    }
    text += "]";
    BindingResult result = ParseJson(text.c_str());
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    ASSERT_EQ(BindingValueAccess::ShapeProblem(result.Value()), nullptr);
    for (int record = 0; record < 60; ++record) {
        SCOPED_TRACE(record);
        BindingValue& item = result.Value().Element(record);
        const int count = 3 + record % 8;
        ASSERT_EQ(item.Size(), static_cast<std::size_t>(count + (record == 30 && count <= 5 ? 1 : 0)));
        for (int key = 0; key < count; ++key) {
            if (record == 30 && key == 5) continue;
            EXPECT_EQ(item.Member(keys[key]).AsUnsigned(99), static_cast<std::uint64_t>(key)) << keys[key];
        }
        for (int extra = 0; extra < 12; ++extra) item.Member("m" + std::to_string(extra * 5 % 12)).SetSigned(extra);
    }
    EXPECT_EQ(Typed(result.Value().Element(30).Member("a")), "structure (2)\n  \"x\": unsigned 1\n  \"y\": unsigned 2\n");
    EXPECT_EQ(BindingValueAccess::ShapeProblem(result.Value()), nullptr);
}

}  // namespace
}  // namespace hpk
