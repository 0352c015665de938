// Scalar typing for the YAML reader. Plain scalars are typed by content; the
// number rule is the C library's floating parse, done locale-independently.
#include "formats/yaml_scalar.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "binding/convert_number.h"
#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"

namespace hpk {
namespace {

constexpr char kTagStr[] = "tag:yaml.org,2002:str";
constexpr char kTagInt[] = "tag:yaml.org,2002:int";
constexpr char kTagFloat[] = "tag:yaml.org,2002:float";
constexpr char kTagBool[] = "tag:yaml.org,2002:bool";
// Tagged numbers are checked as if converted into a field named "yaml".
constexpr std::string_view kTaggedPath = "yaml";

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The tokenizer reports out-of-range without a value; strtod would give
// infinity on overflow and zero on underflow. Decide which one by the decimal
// (or, for hex, binary) magnitude: digits before the point, leading zeros
// after it, and the exponent.
bool Overflows(const char* p, const char* end, bool hex) {
    const char exponentMark = hex ? 'p' : 'e';
    const int digitWeight = hex ? 4 : 1;
    long long leading = 0;  // significant digits before the point
    long long zeros = 0;    // zeros right after the point when there are none
    bool seenNonZero = false;
    bool afterPoint = false;
    for (; p < end && (*p | 0x20) != exponentMark; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else if (!afterPoint) {
            if (*p != '0' || seenNonZero) {
                seenNonZero = true;
                ++leading;
            }
        } else if (!seenNonZero) {
            if (*p == '0') {
                ++zeros;
            } else {
                seenNonZero = true;
            }
        }
    }
    long long exponent = 0;
    if (p < end) {
        ++p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
        for (; p < end && exponent < 100000000; ++p) exponent = exponent * 10 + (*p - '0');
        if (negative) exponent = -exponent;
    }
    const long long magnitude = exponent + digitWeight * (leading > 0 ? leading : -zeros);
    return magnitude > 0;
}

enum class Spelling { None, True, False };

Spelling BoolSpelling(std::string_view text) {
    static constexpr std::string_view kTrue[] = {"true", "True", "TRUE", "y", "Y", "yes", "Yes", "YES", "on", "On", "ON"};
    static constexpr std::string_view kFalse[] = {"false", "False", "FALSE", "n",   "N",  "no",
                                                  "No",    "NO",    "off",   "Off", "OFF"};
    if (text.size() > 5) return Spelling::None;
    for (std::string_view s : kTrue) {
        if (s == text) return Spelling::True;
    }
    for (std::string_view s : kFalse) {
        if (s == text) return Spelling::False;
    }
    return Spelling::None;
}

bool IsNullSpelling(std::string_view text) {
    return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

// A plain scalar that reads as a number. Integers pass through a double, so
// digits beyond its precision are lost; integral values that no 64-bit integer
// holds stay float instead of wrapping.
void SetNumber(BindingValue& target, double number) {
    double whole = 0.0;
    const double fraction = std::modf(number, &whole);
    constexpr double kTwoTo63 = 9223372036854775808.0;
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (fraction != 0.0 || std::isnan(number)) {
        target.SetFloat(number);
    } else if (number >= 0.0) {
        if (number < kTwoTo64) {
            target.SetUnsigned(static_cast<std::uint64_t>(number));
        } else {
            target.SetFloat(number);
        }
    } else if (number >= -kTwoTo63) {
        target.SetSigned(static_cast<std::int64_t>(number));
    } else {
        target.SetFloat(number);
    }
}

void TypeTagged(BindingResult& result, BindingValue& target, const char* tag, std::string_view text) {
    if (std::strcmp(tag, kTagStr) == 0) {
        target.SetString(text);
    } else if (std::strcmp(tag, kTagInt) == 0) {
        if (!text.empty() && text[0] == '-') {
            std::int64_t value = 0;
            if (ParseSignedText(result, value, text, kTaggedPath, "int64_t", std::numeric_limits<std::int64_t>::min(),
                                std::numeric_limits<std::int64_t>::max())) {
                target.SetSigned(value);
            }
        } else {
            std::uint64_t value = 0;
            if (ParseUnsignedText(result, value, text, kTaggedPath, "uint64_t",
                                  std::numeric_limits<std::uint64_t>::max())) {
                target.SetUnsigned(value);
            }
        }
    } else if (std::strcmp(tag, kTagFloat) == 0) {
        double value = 0.0;
        if (ParseFloatText(result, value, text, kTaggedPath, "double", std::numeric_limits<double>::max())) {
            target.SetFloat(value);
        }
    } else if (std::strcmp(tag, kTagBool) == 0) {
        const Spelling spelling = BoolSpelling(text);
        if (spelling == Spelling::None) {
            target.Clear();
        } else {
            target.SetBool(spelling == Spelling::True);
        }
    } else {
        result.SetError(FormatPositional(kMsgYamlUnsupportedTag, tag));
    }
}

}  // namespace

bool ParseYamlNumber(std::string_view text, double& out) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && IsCSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // One sign only; the tokenizer below would take a second minus itself.
    if (p == end || *p == '+' || *p == '-') return false;
    std::chars_format format = std::chars_format::general;
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        // Without a hex digit after the prefix the C parse stops after the "0".
        const char* q = p + 2;
        const bool digits = (q < end && IsHexDigit(*q)) || (end - q >= 2 && q[0] == '.' && IsHexDigit(q[1]));
        if (!digits) return false;
        p = q;
        format = std::chars_format::hex;
    }
    double value = 0.0;
    const std::from_chars_result scan = std::from_chars(p, end, value, format);
    if (scan.ptr != end) return false;
    if (scan.ec == std::errc::result_out_of_range) {
        value = Overflows(p, end, format == std::chars_format::hex) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (scan.ec != std::errc()) {
        return false;
    }
    out = negative ? -value : value;
    return true;
}

void TypeYamlScalar(BindingResult& result, BindingValue& target, const char* tag, std::string_view text,
                    YamlScalarStyle style) {
    if (!result.IsOk()) return;
    if (tag != nullptr) {
        TypeTagged(result, target, tag, text);
        return;
    }
    if (style != YamlScalarStyle::Plain) {
        target.SetString(text);
        return;
    }
    if (IsNullSpelling(text)) {
        target.Clear();
        return;
    }
    double number = 0.0;
    if (ParseYamlNumber(text, number) && number != std::numeric_limits<double>::infinity()) {
        SetNumber(target, number);
        return;
    }
    const Spelling spelling = BoolSpelling(text);
    if (spelling != Spelling::None) {
        target.SetBool(spelling == Spelling::True);
        return;
    }
    target.SetString(text);
}

}  // namespace hpk
