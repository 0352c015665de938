// YAML reading: scalar typing, tags, keys, anchors and aliases, repeated keys,
// documents, and every message with its line and column.
#include "formats/yaml_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/yaml_scalar.h"
#include "formats_test_util.h"

namespace hpk {
namespace {

using test::Typed;

BindingResult Parse(const std::string& text) { return ParseYaml(text.c_str(), text.size()); }

struct ValueRow {
    const char* yaml;
    const char* typed;
};

TEST(YamlReader, TypesScalars) {
    const ValueRow rows[] = {
        {"", "empty\n"},
        {"42", "unsigned 42\n"},
        {"-7", "signed -7\n"},
        {"1.5", "float 1.5\n"},
        {"1e3", "unsigned 1000\n"},
        {"0x10", "unsigned 16\n"},
        {"017", "unsigned 17\n"},
        {"+5", "unsigned 5\n"},
        {"-0", "unsigned 0\n"},
        {"0x1p3", "unsigned 8\n"},
        {"-2.5e-1", "float -0.25\n"},
        {"1e-400", "unsigned 0\n"},
        {"9007199254740993", "unsigned 9007199254740992\n"},
        // Integral values no 64-bit integer holds stay float instead of wrapping.
        {"18446744073709551615", "float 18446744073709551616\n"},
        {"-1e19", "float -1e+19\n"},
        {"-1e400", "float -inf\n"},
        {"-inf", "float -inf\n"},
        {"nan", "float nan\n"},
        {"NaN", "float nan\n"},
        // Positive infinity is not taken as a number.
        {"inf", "string \"inf\"\n"},
        {"1e400", "string \"1e400\"\n"},
        {".inf", "string \".inf\"\n"},
        {"1_000", "string \"1_000\"\n"},
        {"0o17", "string \"0o17\"\n"},
        {"0x", "string \"0x\"\n"},
        {"~", "empty\n"},
        {"null", "empty\n"},
        {"Null", "empty\n"},
        {"NULL", "empty\n"},
        {"nULL", "string \"nULL\"\n"},
        {"yes", "bool true\n"},
        {"Y", "bool true\n"},
        {"On", "bool true\n"},
        {"TRUE", "bool true\n"},
        {"Off", "bool false\n"},
        {"n", "bool false\n"},
        {"NO", "bool false\n"},
        {"tRue", "string \"tRue\"\n"},
        {"hello world", "string \"hello world\"\n"},
        {"\"42\"", "string \"42\"\n"},
        {"'yes'", "string \"yes\"\n"},
        {"\"\"", "string \"\"\n"},
        {"|\n  42\n", "string \"42\\n\"\n"},
        {">-\n  true\n", "string \"true\"\n"},
        {"!!str 42", "string \"42\"\n"},
        {"!!int 42", "unsigned 42\n"},
        {"!!int -42", "signed -42\n"},
        {"!!int 0x1F", "unsigned 31\n"},
        {"!!int 017", "unsigned 15\n"},
        {"!!int \"7\"", "unsigned 7\n"},
        {"!!float 1.5", "float 1.5\n"},
        {"!!float 2", "float 2\n"},
        {"!!bool yes", "bool true\n"},
        {"!!bool off", "bool false\n"},
        {"!!bool maybe", "empty\n"},
        // Integers up to 2^53 are read digit by digit, larger ones through a
        // double; both give the value a double would hold.
        {"9007199254740992", "unsigned 9007199254740992\n"},
        {"-9007199254740992", "signed -9007199254740992\n"},
        {"-9007199254740993", "signed -9007199254740992\n"},
        {"0000000000000009", "unsigned 9\n"},
        {"00000000000000009", "unsigned 9\n"},
        {"+0", "unsigned 0\n"},
        {"9223372036854775807", "unsigned 9223372036854775808\n"},
        {"-9223372036854775808", "signed -9223372036854775808\n"},
        {"-9223372036854775809", "signed -9223372036854775808\n"},
        {"18446744073709551616", "float 18446744073709551616\n"},
        {"12a", "string \"12a\"\n"},
        {"-x", "string \"-x\"\n"},
        {"+", "string \"+\"\n"},
        {"Infinity", "string \"Infinity\"\n"},
        {"-Infinity", "float -inf\n"},
        {"info", "string \"info\"\n"},
        {"nope", "string \"nope\"\n"},
        {"nAn", "float nan\n"},
        {"nan(123)", "float nan\n"},
        {"NaNa", "string \"NaNa\"\n"},
        {"Nano", "string \"Nano\"\n"},
        {"na", "string \"na\"\n"},
        {"iNf", "string \"iNf\"\n"},
        {"INFINITY", "string \"INFINITY\"\n"},
        {"in", "string \"in\"\n"},
        {"I", "string \"I\"\n"},
        {"NONE", "string \"NONE\"\n"},
        {"123456789", "unsigned 123456789\n"},
        {"1234567890", "unsigned 1234567890\n"},
        {"-4294967296", "signed -4294967296\n"},
        {"12345678x", "string \"12345678x\"\n"},
        {"1234567890x", "string \"1234567890x\"\n"},
        {"~x", "string \"~x\"\n"},
        {"'-0'", "string \"-0\"\n"},
        {"!!int 9007199254740993", "unsigned 9007199254740993\n"},
        // Bools in their three casings only; the first byte alone decides nothing.
        {"True", "bool true\n"},
        {"y", "bool true\n"},
        {"ON", "bool true\n"},
        {"false", "bool false\n"},
        {"FALSE", "bool false\n"},
        {"N", "bool false\n"},
        {"no", "bool false\n"},
        {"off", "bool false\n"},
        {"oN", "string \"oN\"\n"},
        {"yEs", "string \"yEs\"\n"},
        {"FAlse", "string \"FAlse\"\n"},
        {"nO", "string \"nO\"\n"},
        {"yess", "string \"yess\"\n"},
        {"t", "string \"t\"\n"},
        {"!!bool True", "bool true\n"},
        {"!!bool tRue", "empty\n"},
        {"Zebra", "string \"Zebra\"\n"},
        {"_x", "string \"_x\"\n"},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.yaml);
        const BindingResult result = Parse(row.yaml);
        ASSERT_TRUE(result.IsOk()) << result.ErrorText();
        EXPECT_EQ(Typed(result.Value()), row.typed);
    }
}

TEST(YamlReader, BuildsMappingsAndSequences) {
    const ValueRow rows[] = {
        {"a: 1\nb: [x, 2]\n",
         "structure (2)\n  \"a\": unsigned 1\n  \"b\": collection (2)\n    [0] string \"x\"\n"
         "    [1] unsigned 2\n"},
        {"- a\n- - 1\n  - ~\n- {}\n",
         "collection (3)\n  [0] string \"a\"\n  [1] collection (2)\n    [0] unsigned 1\n    [1] empty\n"
         "  [2] structure (0)\n"},
        {"b: 1\na: 2\n", "structure (2)\n  \"a\": unsigned 2\n  \"b\": unsigned 1\n"},
        // Keys keep their text, whatever a value with that text would become.
        {"1: a\ntrue: b\n~: c\n",
         "structure (3)\n  \"1\": string \"a\"\n  \"true\": string \"b\"\n  \"~\": string \"c\"\n"},
        {"!!str k: v", "structure (1)\n  \"k\": string \"v\"\n"},
        {"a:\n", "structure (1)\n  \"a\": empty\n"},
        // Repeated keys: mappings merge, sequences concatenate, scalars replace.
        {"a: {x: 1}\na: {y: 2}\n",
         "structure (1)\n  \"a\": structure (2)\n    \"x\": unsigned 1\n    \"y\": unsigned 2\n"},
        {"a: [1]\na: [2]\n", "structure (1)\n  \"a\": collection (2)\n    [0] unsigned 1\n    [1] unsigned 2\n"},
        {"a: 1\na: 2\n", "structure (1)\n  \"a\": unsigned 2\n"},
        {"a: {x: 1}\na: 5\n", "structure (1)\n  \"a\": unsigned 5\n"},
        {"a: 1\na: [2]\n", "structure (1)\n  \"a\": collection (1)\n    [0] unsigned 2\n"},
        {"a: 1\na: ~\n", "structure (1)\n  \"a\": empty\n"},
        {"a: {x: 1, y: 2}\na: {x: ~}\n",
         "structure (1)\n  \"a\": structure (2)\n    \"x\": empty\n    \"y\": unsigned 2\n"},
        // An empty first document leaves room for a second.
        {"---\n~\n---\nb\n", "string \"b\"\n"},
        {"--- a\n...\n", "string \"a\"\n"},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.yaml);
        const BindingResult result = Parse(row.yaml);
        ASSERT_TRUE(result.IsOk()) << result.ErrorText();
        EXPECT_EQ(Typed(result.Value()), row.typed);
    }
}

TEST(YamlReader, ResolvesAnchorsAndAliases) {
    const ValueRow rows[] = {
        {"a: &x {b: 1}\nc: *x\n",
         "structure (2)\n  \"a\": structure (1)\n    \"b\": unsigned 1\n  \"c\": structure (1)\n    \"b\": unsigned "
         "1\n"},
        {"- &s [1, &n 2]\n- *n\n- *s\n",
         "collection (3)\n  [0] collection (2)\n    [0] unsigned 1\n    [1] unsigned 2\n  [1] unsigned 2\n"
         "  [2] collection (2)\n    [0] unsigned 1\n    [1] unsigned 2\n"},
        {"&r [1]", "collection (1)\n  [0] unsigned 1\n"},
        // An anchored key stands for its text.
        {"&k a: 1\nb: *k\n", "structure (2)\n  \"a\": unsigned 1\n  \"b\": string \"a\"\n"},
        // Aliases used as keys give text: a key's, or a string value's.
        {"&k a: 1\n*k : 2\n", "structure (1)\n  \"a\": unsigned 2\n"},
        {"x: &v name\n*v : 3\n", "structure (2)\n  \"name\": unsigned 3\n  \"x\": string \"name\"\n"},
        // The alias refers to the member itself: nothing changes.
        {"a: &x 1\na: *x\n", "structure (1)\n  \"a\": unsigned 1\n"},
        // A repeated key leads back into the anchored mapping: the copy is taken
        // as the mapping stands when the alias is read.
        {"a: &x {b: 1}\na: {c: *x}\n",
         "structure (1)\n  \"a\": structure (2)\n    \"b\": unsigned 1\n    \"c\": structure (2)\n"
         "      \"b\": unsigned 1\n      \"c\": empty\n"},
        {"a: &x {b: 1}\na: *x\n", "structure (1)\n  \"a\": structure (1)\n    \"b\": unsigned 1\n"},
        // Anchors below keys longer than short-string storage, and below
        // elements, are found again by their path.
        {"an_outer_key_past_inline_storage:\n  an_inner_key_past_inline_storage: [0, &d {x: 2}, &e last]\n"
         "  n: &s text\nc: *d\nd: *s\ne: *e\n",
         "structure (4)\n  \"an_outer_key_past_inline_storage\": structure (2)\n"
         "    \"an_inner_key_past_inline_storage\": collection (3)\n      [0] unsigned 0\n"
         "      [1] structure (1)\n        \"x\": unsigned 2\n      [2] string \"last\"\n"
         "    \"n\": string \"text\"\n  \"c\": structure (1)\n    \"x\": unsigned 2\n"
         "  \"d\": string \"text\"\n  \"e\": string \"last\"\n"},
        // Below a repeated key, an anchor's path counts the elements before it.
        {"a: [0]\na: [&x 5]\nb: *x\n",
         "structure (2)\n  \"a\": collection (2)\n    [0] unsigned 0\n    [1] unsigned 5\n  \"b\": unsigned 5\n"},
        {"&r 5", "unsigned 5\n"},
        {"[&a x, *a]", "collection (2)\n  [0] string \"x\"\n  [1] string \"x\"\n"},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.yaml);
        const BindingResult result = Parse(row.yaml);
        ASSERT_TRUE(result.IsOk()) << result.ErrorText();
        EXPECT_EQ(Typed(result.Value()), row.typed);
    }
}

TEST(YamlReader, AliasCopiesAreIndependent) {
    BindingResult result = Parse("a: &x {b: 1}\nc: *x\n");
    ASSERT_TRUE(result.IsOk());
    result.Value().Member("c").Member("b").SetSigned(5);
    EXPECT_EQ(result.Value().Member("a").Member("b").AsUnsigned(), 1u);
}

TEST(YamlReader, AnchorsBelowManyLongKeysKeepTheirPaths) {
    // Four levels of 200-byte keys outgrow the first key storage before the
    // anchor asks for its path.
    std::string text;
    for (int level = 0; level < 4; ++level) {
        const std::string key(200, static_cast<char>('a' + level));
        text += std::string(2 * static_cast<std::size_t>(level), ' ') + key + ":\n";
    }
    text += "        leaf: &deep {x: 1}\n";
    text += "copy: *deep\n";
    const BindingResult result = Parse(text);
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    EXPECT_EQ(Typed(result.Value().Member("copy")), "structure (1)\n  \"x\": unsigned 1\n");
    const BindingValue* deep = &result.Value();
    for (int level = 0; level < 4; ++level) deep = &deep->Member(std::string(200, static_cast<char>('a' + level)));
    EXPECT_EQ(Typed(deep->Member("leaf")), "structure (1)\n  \"x\": unsigned 1\n");
}

struct ErrorRow {
    const char* yaml;
    const char* message;
};

TEST(YamlReader, ReportsErrorsWithPositions) {
    const ErrorRow rows[] = {
        {"a\n---\nb\n", "Multi-document YAML is not supported."},
        {"[]\n--- x\n", "Multi-document YAML is not supported."},
        {"!!int 1: a", "Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
        {"x:\n  !!float 1: a", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 3"},
        {"x: &v [1]\n*v : 3\n", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        {"? [a]\n: b\n", "Unexpected start of sequence. At line: 1 col: 3"},
        {"? {a: 1}\n: b\n", "Unexpected start of mapping. At line: 1 col: 3"},
        {"a: &x {b: *x}", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 11"},
        {"&r [*r]", "Cannot deserialize cyclic aliases. Alias \"r\". At line: 1 col: 5"},
        {"a: *y", "Undefined alias encountered: \"y\". At line: 1 col: 4"},
        {"- *later\n- &later 1\n", "Undefined alias encountered: \"later\". At line: 1 col: 3"},
        {"a: &x 1\nb: &x 2\n", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
        {"&x a: &x 1\n", "Duplicate occurrence of anchor \"x\". At line: 1 col: 7"},
        {"!!null ~", "Unsupported YAML tag 'tag:yaml.org,2002:null'."},
        {"a: !thing b", "Unsupported YAML tag '!thing'."},
        {"!!int -9223372036854775809", "Value -9223372036854775809 for 'yaml' of type int64_t is out of range"},
        {"!!int 18446744073709551616", "Value 18446744073709551616 for 'yaml' of type uint64_t is out of range"},
        {"!!int 12abc", "Value 12abc for 'yaml' of type uint64_t is in an incorrect format"},
        {"!!float one", "Value one for 'yaml' of type double is in an incorrect format"},
        {"a: [1", "YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
        {"a: b: c", "YAML parser error: mapping values are not allowed in this context. At line: 0 col: 4"},
        {"a: \"x", "YAML parser error: found unexpected end of stream. At line: 0 col: 5"},
        // Problems found while decoding the text carry no mark of their own.
        {"a: x\n\x01", "YAML parser error: control characters are not allowed. At line: 0 col: 0"},
        {"- \xff", "YAML parser error: invalid leading UTF-8 octet. At line: 0 col: 0"},
    };
    for (const ErrorRow& row : rows) {
        SCOPED_TRACE(row.yaml);
        const BindingResult result = Parse(row.yaml);
        ASSERT_FALSE(result.IsOk());
        EXPECT_EQ(result.ErrorText(), row.message);
    }
}

TEST(YamlReader, AcceptsNestingUpToTheLimit) {
    std::string text(kYamlMaxDepth, '[');
    text.append(kYamlMaxDepth, ']');
    const BindingResult result = Parse(text);
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    EXPECT_EQ(test::FirstChildDepth(result.Value()), kYamlMaxDepth - 1);
}

TEST(YamlReader, RefusesDeeperNesting) {
    std::string text(kYamlMaxDepth + 1, '[');
    text.append(kYamlMaxDepth + 1, ']');
    const BindingResult result = Parse(text);
    ASSERT_FALSE(result.IsOk());
    EXPECT_EQ(result.ErrorText(), "YAML nesting deeper than 1000 levels is not supported. At line: 1 col: 1001");
}

TEST(YamlReader, MillionDeepFlowSequenceFailsCleanly) {
    constexpr std::size_t kDepth = 1000000;
    std::string text(kDepth, '[');
    text.append(kDepth, ']');
    const BindingResult result = Parse(text);
    ASSERT_FALSE(result.IsOk());
    EXPECT_EQ(result.ErrorText(), "YAML nesting deeper than 1000 levels is not supported. At line: 1 col: 1001");
}

// Each level lists the previous one ten times: level n expands to about 10^(n+1)
// values, so level 5 passes the limit at its eighth alias.
std::string NestedAliases(int levels) {
    std::string text = "l0: &l0 [1, 1, 1, 1, 1, 1, 1, 1, 1, 1]\n";
    for (int level = 1; level < levels; ++level) {
        const std::string previous = "*l" + std::to_string(level - 1);
        text += "l" + std::to_string(level) + ": &l" + std::to_string(level) + " [";
        for (int i = 0; i < 10; ++i) text += (i == 0 ? "" : ", ") + previous;
        text += "]\n";
    }
    return text;
}

TEST(YamlReader, ExpandsAliasesBelowTheLimit) {
    const BindingResult result = Parse(NestedAliases(5));
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    const BindingValue& top = result.Value().Member("l4");
    EXPECT_EQ(top.Size(), 10u);
    EXPECT_EQ(top.Element(9).Element(9).Element(9).Element(9).Size(), 10u);
}

TEST(YamlReader, RefusesExponentialAliasExpansion) {
    const BindingResult result = Parse(NestedAliases(8));
    ASSERT_FALSE(result.IsOk());
    EXPECT_EQ(result.ErrorText(), "YAML aliases expand to more than 1000000 values. At line: 6 col: 45");
}

// What the number rule makes of `text`, worked out from the C library's parse
// alone; "" when the text is not taken as a number.
std::string TypedByNumberRule(const std::string& text) {
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || number == HUGE_VAL) return "";
    BindingValue value;
    if (number != std::trunc(number) || std::isnan(number)) {
        value.SetFloat(number);
    } else if (number >= 0.0 && number < 18446744073709551616.0) {
        value.SetUnsigned(static_cast<std::uint64_t>(number));
    } else if (number < 0.0 && number >= -9223372036854775808.0) {
        value.SetSigned(static_cast<std::int64_t>(number));
    } else {
        value.SetFloat(number);
    }
    return Typed(value);
}

// Plain decimals are read in one pass when short; every shape and length on
// either side of that path types as the number rule says.
TEST(YamlScalar, DecimalsAgreeWithTheNumberRule) {
    std::vector<std::string> numbers = {"0",
                                        "7",
                                        "9007199254740991",
                                        "9007199254740992",
                                        "9007199254740993",
                                        "9007199254740994",
                                        "9007199254740995",
                                        "9999999999999999",
                                        "0000000000000000",
                                        "00000000000000000",
                                        "9223372036854775807",
                                        "9223372036854775808",
                                        "18446744073709551615",
                                        "18446744073709551616",
                                        "99999999999999999999",
                                        "65.61361699999998",
                                        "43.0",
                                        "0.0",
                                        "1.",
                                        ".5",
                                        "2.5e1",
                                        "1e27",
                                        "1e28",
                                        "1e-27",
                                        "1e-28",
                                        "1E+5",
                                        "1e0005",
                                        "1e00005",
                                        "1.0e-400",
                                        "9007199254740993.0",
                                        "4503599627370497.5",
                                        "0.30000000000000004",
                                        "1234567890.123456789",
                                        "12345678901.123456789",
                                        "0.00000000000000000001",
                                        "000000000000000000001.5",
                                        // Around the word-wise reading of d.dddddddd to ddd.(16 d).
                                        "7.00000000",
                                        "0.00000000",
                                        "0.0000000012345678",
                                        "999.9999999999999999",
                                        "9.0071992547409915",
                                        "1.0000000000000002",
                                        "43.418052999999986",
                                        "1234.56789012",
                                        "12.3456789012345678",
                                        "12.3456789a",
                                        "1.2345678"};
    for (std::size_t length = 1; length <= 21; ++length) {
        numbers.push_back(std::string(length, '9'));
        numbers.push_back("1" + std::string(length - 1, '0'));
        numbers.push_back(std::string(length - 1, '0') + "5");
    }
    // Mantissas of every length up to past the one-pass limit, the point at
    // every place, with and without an exponent.
    std::uint32_t seed = 12345;
    for (std::size_t length = 1; length <= 21; ++length) {
        std::string mantissa;
        for (std::size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            mantissa += static_cast<char>('0' + (seed >> 16) % 10);
        }
        for (std::size_t point = 0; point <= length; ++point) {
            const std::string decimal = mantissa.substr(0, point) + "." + mantissa.substr(point);
            numbers.push_back(decimal);
            numbers.push_back(decimal + "e" + std::to_string(static_cast<int>(point) - 12));
        }
    }
    for (const std::string& number : numbers) {
        for (const char* sign : {"", "+", "-"}) {
            const std::string text = sign + number;
            SCOPED_TRACE(text);
            const BindingResult result = Parse(text);
            ASSERT_TRUE(result.IsOk()) << result.ErrorText();
            const std::string expected = TypedByNumberRule(text);
            EXPECT_EQ(Typed(result.Value()), expected.empty() ? "string \"" + text + "\"\n" : expected);
        }
    }
}

TEST(YamlScalar, NumberRuleMatchesTheCLibrary) {
    const char* texts[] = {
        "1",
        "-1",
        "+1",
        "1.5",
        ".5",
        "5.",
        "1e5",
        "1E+5",
        "1e",
        "e5",
        "0x1A",
        "0X1a",
        "0x",
        "0x.8",
        "0x1p-2",
        "-0x10",
        "0x1e5",
        "0xg",
        "inf",
        "-Infinity",
        "INF",
        "nan",
        "NAN",
        "nan(123)",
        "infinity",
        "infinit",
        " 1",
        "\t-2",
        "1 ",
        "--1",
        "+-1",
        "-+1",
        "1e400",
        "-1e400",
        "1e-400",
        "1e-310",
        "",
        "+",
        "-",
        "abc",
        "1_0",
        "1,5",
        "0.000001e-320",
        "123456789012345678901234567890",
        // Past the double range without an exponent, and below it despite one.
        "100000000000000000000000000000000000000000000000000000000000000000000000"
        "000000000000000000000000000000000000000000000000000000000000000000000000"
        "000000000000000000000000000000000000000000000000000000000000000000000000"
        "000000000000000000000000000000000000000000000000000000000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000",
        "0.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "0000000000000000000000000000000000000000000000000000000001e5",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        char* end = nullptr;
        const double expected = std::strtod(text, &end);
        const bool expectedWhole = *text != '\0' && *end == '\0';
        double parsed = 0.0;
        const bool whole = ParseYamlNumber(text, parsed);
        ASSERT_EQ(whole, expectedWhole);
        if (!whole) continue;
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(parsed));
        } else {
            EXPECT_EQ(std::memcmp(&parsed, &expected, sizeof parsed), 0) << parsed << " vs " << expected;
        }
    }
}

}  // namespace
}  // namespace hpk
