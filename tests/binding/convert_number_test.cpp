// bool, integer and floating conversions and the number text parsers.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "binding/convert_number.h"
#include "value_makers.h"

namespace hpk {
namespace {

BindingValue Boolean(bool b) {
    BindingValue v;
    v.SetBool(b);
    return v;
}
BindingValue EnumOf(std::int32_t n) {
    BindingValue v;
    v.SetEnum(n, nullptr);
    return v;
}
BindingValue Collection() {
    BindingValue v;
    v.MakeCollection();
    return v;
}
BindingValue Empty() { return BindingValue(); }

// One conversion: the input, and either the expected native value or the
// whole expected message.
template <class T>
struct Row {
    const char* label;
    BindingValue input;
    T expected;
    std::string message;  // empty: success expected
};

template <class T>
void RunRows(const std::vector<Row<T>>& rows) {
    for (const Row<T>& row : rows) {
        SCOPED_TRACE(row.label);
        T target{};
        BindingResult result;
        FromValue(result, target, row.input, "field");
        EXPECT_EQ(result.ErrorText(), row.message);
        EXPECT_EQ(result.IsOk(), row.message.empty());
        if (row.message.empty()) {
            EXPECT_EQ(target, row.expected);
        }
    }
}

TEST(ConvertNumber, Int32Table) {
    RunRows<std::int32_t>({
        {"hex text", Str("0x1F"), 31, ""},
        {"upper hex text", Str("0X1f"), 31, ""},
        {"octal text", Str("017"), 15, ""},
        {"decimal text with leading space", Str("  \t42"), 42, ""},
        {"plus sign", Str("+7"), 7, ""},
        {"negative text", Str("-2147483648"), -2147483648LL, ""},
        {"empty text is zero", Str(""), 0, ""},
        {"trailing letters", Str("12abc"), 0, "Value 12abc for 'field' of type int32 is in an incorrect format"},
        {"trailing space", Str("42 "), 0, "Value 42  for 'field' of type int32 is in an incorrect format"},
        {"only space", Str(" "), 0, "Value   for 'field' of type int32 is in an incorrect format"},
        {"bare prefix", Str("0x"), 0, "Value 0x for 'field' of type int32 is in an incorrect format"},
        {"non-octal digit", Str("08"), 0, "Value 08 for 'field' of type int32 is in an incorrect format"},
        {"bare sign", Str("-"), 0, "Value - for 'field' of type int32 is in an incorrect format"},
        {"text above max", Str("2147483648"), 0, "Value 2147483648 for 'field' of type int32 is out of range"},
        {"text overflowing 64 bits", Str("99999999999999999999"), 0,
         "Value 99999999999999999999 for 'field' of type int32 is out of range"},
        {"signed", Sgn(-5), -5, ""},
        {"signed below min", Sgn(-2147483649LL), 0, "Value -2147483649 for 'field' of type int32 is out of range"},
        {"unsigned", Uns(2147483647), 2147483647, ""},
        {"unsigned above max", Uns(2147483648ULL), 0, "Value 2147483648 for 'field' of type int32 is out of range"},
        {"float truncates", Flt(2.9), 2, ""},
        {"negative float truncates", Flt(-2.9), -2, ""},
        {"float above max", Flt(2147483648.0), 0, "Value 2.14748e+09 for 'field' of type int32 is out of range"},
        {"float half above max", Flt(2147483647.5), 0, "Value 2.14748e+09 for 'field' of type int32 is out of range"},
        {"enum value", EnumOf(7), 7, ""},
        {"bool", Boolean(true), 0,
         "Couldn't assign value to 'field' of type int32 because the input is of an invalid type bool."},
        {"collection", Collection(), 0,
         "Couldn't assign value to 'field' of type int32 because the input is of an invalid type collection."},
        {"empty", Empty(), 0, "A value for 'field' is required."},
    });
}

TEST(ConvertNumber, UInt32Table) {
    RunRows<std::uint32_t>({
        {"negative text", Str("-1"), 0, "Value -1 for 'field' of type uint32 is out of range"},
        {"negative zero text", Str("-0"), 0, "Value -0 for 'field' of type uint32 is out of range"},
        {"negative text after space", Str(" -1"), 0, "Value  -1 for 'field' of type uint32 is out of range"},
        {"max text", Str("4294967295"), 4294967295u, ""},
        {"hex text", Str("0xffffffff"), 4294967295u, ""},
        {"text above max", Str("4294967296"), 0, "Value 4294967296 for 'field' of type uint32 is out of range"},
        {"format before range", Str("-1x"), 0, "Value -1x for 'field' of type uint32 is in an incorrect format"},
        {"unsigned above max", Uns(4294967296ULL), 0, "Value 4294967296 for 'field' of type uint32 is out of range"},
        {"negative signed", Sgn(-1), 0, "Value -1 for 'field' of type uint32 is out of range"},
        {"signed", Sgn(5), 5, ""},
        {"negative float", Flt(-0.5), 0, "Value -0.5 for 'field' of type uint32 is out of range"},
        {"float", Flt(3.99), 3, ""},
        {"negative enum", EnumOf(-2), 0, "Value -2 for 'field' of type uint32 is out of range"},
        {"string kind", Boolean(false), 0,
         "Couldn't assign value to 'field' of type uint32 because the input is of an invalid type bool."},
    });
}

TEST(ConvertNumber, NarrowAndWideIntegers) {
    RunRows<std::int8_t>({
        {"int8 min", Sgn(-128), -128, ""},
        {"int8 above max", Sgn(128), 0, "Value 128 for 'field' of type int8 is out of range"},
    });
    RunRows<std::uint16_t>({
        {"uint16 above max", Str("65536"), 0, "Value 65536 for 'field' of type uint16 is out of range"},
        {"uint16 max", Uns(65535), 65535, ""},
    });
    RunRows<std::int64_t>({
        {"int64 min text", Str("-9223372036854775808"), std::numeric_limits<std::int64_t>::min(), ""},
        {"int64 below min text", Str("-9223372036854775809"), 0,
         "Value -9223372036854775809 for 'field' of type int64 is out of range"},
        {"2^63 as float", Flt(9223372036854775808.0), 0, "Value 9.22337e+18 for 'field' of type int64 is out of range"},
        {"unsigned above max", Uns(9223372036854775808ULL), 0,
         "Value 9223372036854775808 for 'field' of type int64 is out of range"},
    });
    RunRows<std::uint64_t>({
        {"uint64 max text", Str("18446744073709551615"), std::numeric_limits<std::uint64_t>::max(), ""},
        {"uint64 overflow text", Str("18446744073709551616"), 0,
         "Value 18446744073709551616 for 'field' of type uint64 is out of range"},
        {"2^64 as float", Flt(18446744073709551616.0), 0,
         "Value 1.84467e+19 for 'field' of type uint64 is out of range"},
    });
}

TEST(ConvertNumber, FloatingTable) {
    RunRows<float>({
        {"text", Str("1.5"), 1.5f, ""},
        {"signed", Sgn(-3), -3.0f, ""},
        {"float above float max", Flt(1e39), 0, "Value 1e+39 for 'field' of type float is out of range"},
        {"text above float max", Str("1e39"), 0, "Value 1e39 for 'field' of type float is out of range"},
        {"bool", Boolean(true), 0,
         "Couldn't assign value to 'field' of type float because the input is of an invalid type bool."},
    });
    RunRows<double>({
        {"plus sign and space", Str(" +2.5"), 2.5, ""},
        {"exponent", Str("-1.25e2"), -125.0, ""},
        {"empty text", Str(""), 0.0, ""},
        {"unsigned", Uns(1ULL << 53), 9007199254740992.0, ""},
        {"enum", EnumOf(4), 4.0, ""},
        {"trailing letters", Str("2.5x"), 0, "Value 2.5x for 'field' of type double is in an incorrect format"},
        {"hexadecimal is not decimal", Str("0x10"), 0,
         "Value 0x10 for 'field' of type double is in an incorrect format"},
        {"two signs", Str("+-1"), 0, "Value +-1 for 'field' of type double is in an incorrect format"},
        {"letters", Str("abc"), 0, "Value abc for 'field' of type double is in an incorrect format"},
        {"overflow", Str("1e400"), 0, "Value 1e400 for 'field' of type double is out of range"},
        {"infinity", Str("inf"), 0, "Value inf for 'field' of type double is out of range"},
        {"empty", Empty(), 0, "A value for 'field' is required."},
    });
}

TEST(ConvertNumber, NonFiniteFloatsAreOutOfRangeForIntegers) {
    // The text of NaN and infinity depends on the C runtime; only the outcome is pinned.
    for (double number : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        BindingResult result;
        std::int32_t target = 4;
        FromValue(result, target, Flt(number), "field");
        EXPECT_FALSE(result.IsOk());
        EXPECT_EQ(target, 4);
        BindingResult wide;
        std::uint64_t wideTarget = 4;
        FromValue(wide, wideTarget, Flt(number), "field");
        EXPECT_FALSE(wide.IsOk());
    }
    BindingResult result;
    double target = 0;
    FromValue(result, target, Flt(-std::numeric_limits<double>::infinity()), "field");
    EXPECT_FALSE(result.IsOk());
}

TEST(ConvertNumber, BoolTable) {
    RunRows<bool>({
        {"bool", Boolean(true), true, ""},
        {"text true", Str("true"), true, ""},
        {"text 1", Str("1"), true, ""},
        {"text false", Str("false"), false, ""},
        {"text 0", Str("0"), false, ""},
        {"upper case", Str("TRUE"), false,
         "Value TRUE for 'field' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", "
         "\"0\"."},
        {"number", Uns(1), false,
         "Couldn't assign value to 'field' of type bool because the input is of an invalid type unsigned."},
        {"float", Flt(1.0), false,
         "Couldn't assign value to 'field' of type bool because the input is of an invalid type float."},
        {"empty", Empty(), false, "A value for 'field' is required."},
    });
}

TEST(ConvertNumber, TextParsersNameTheirTypeText) {
    BindingResult result;
    std::int64_t signedOut = 0;
    EXPECT_FALSE(ParseSignedText(result, signedOut, "-9223372036854775809", "yaml", "int64_t",
                                 std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()));
    EXPECT_EQ(result.ErrorText(), "Value -9223372036854775809 for 'yaml' of type int64_t is out of range");

    BindingResult unsignedResult;
    std::uint64_t unsignedOut = 0;
    EXPECT_TRUE(ParseUnsignedText(unsignedResult, unsignedOut, "0x10", "yaml", "uint64_t",
                                  std::numeric_limits<std::uint64_t>::max()));
    EXPECT_EQ(unsignedOut, 16u);

    BindingResult floatResult;
    double floatOut = 0;
    EXPECT_FALSE(ParseFloatText(floatResult, floatOut, "1.5.2", "yaml", "double", std::numeric_limits<double>::max()));
    EXPECT_EQ(floatResult.ErrorText(), "Value 1.5.2 for 'yaml' of type double is in an incorrect format");
}

TEST(ConvertNumber, TextNeedsNoTerminator) {
    // A view into a longer text must stop at its own end.
    const std::string text = "12345";
    BindingResult result;
    std::int64_t out = 0;
    EXPECT_TRUE(ParseSignedText(result, out, std::string_view(text).substr(0, 2), "p", "int32", -100, 100));
    EXPECT_EQ(out, 12);
}

TEST(ConvertNumber, FirstErrorWins) {
    BindingResult result;
    std::int32_t a = 0;
    std::uint8_t b = 9;
    FromValue(result, a, Str("x"), "first");
    FromValue(result, b, Uns(1), "second");
    EXPECT_EQ(result.ErrorText(), "Value x for 'first' of type int32 is in an incorrect format");
    EXPECT_EQ(b, 9);  // the second conversion did not run

    std::int64_t parsed = 5;
    EXPECT_FALSE(ParseSignedText(result, parsed, "1", "third", "int64_t", 0, 10));
    EXPECT_EQ(parsed, 5);
    EXPECT_EQ(result.ErrorText(), "Value x for 'first' of type int32 is in an incorrect format");
}

}  // namespace
}  // namespace hpk
