// Scalar typing for the YAML reader. Plain scalars are typed by content; the
// number rule is the C library's floating parse, done locale-independently.
// The common shapes (text whose first byte rules out null, number and bool;
// decimals of up to 19 digits) are decided in one pass, without that parse.
#include "formats/yaml_scalar.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>

#include "binding/convert_number.h"
#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"
#include "formats/short_decimal.h"

namespace hpk {
namespace {

constexpr char kTagStr[] = "tag:yaml.org,2002:str";
constexpr char kTagInt[] = "tag:yaml.org,2002:int";
constexpr char kTagFloat[] = "tag:yaml.org,2002:float";
constexpr char kTagBool[] = "tag:yaml.org,2002:bool";
// Tagged numbers are checked as if converted into a field named "yaml".
constexpr std::string_view kTaggedPath = "yaml";

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

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

// `text` is `lower` as written, Capitalised or in UPPER case; `lower` holds
// lowercase letters only and is as long as `text`.
bool MatchesCasing(std::string_view text, const char* lower) {
    constexpr char kUpper = 'a' - 'A';
    const char first = text[0];
    if (first != lower[0] && first != lower[0] - kUpper) return false;
    std::size_t i = 1;
    while (i < text.size() && text[i] == lower[i]) ++i;
    if (i == text.size()) return true;  // lower case or Capitalised
    if (first == lower[0] || i != 1) return false;
    for (; i < text.size(); ++i) {
        if (text[i] != lower[i] - kUpper) return false;
    }
    return true;
}

// The words are y, yes, on, true and n, no, off, false: their length and first
// letter leave one candidate at most.
Spelling BoolSpelling(std::string_view text) {
    const auto Word = [text](const char* lower, Spelling spelling) {
        return MatchesCasing(text, lower) ? spelling : Spelling::None;
    };
    const char first = static_cast<char>(text.empty() ? 0 : text[0] | 0x20);
    switch (text.size()) {
        case 1: return first == 'y' ? Spelling::True : first == 'n' ? Spelling::False : Spelling::None;
        case 2: return first == 'o' ? Word("on", Spelling::True) : Word("no", Spelling::False);
        case 3: return first == 'y' ? Word("yes", Spelling::True) : Word("off", Spelling::False);
        case 4: return Word("true", Spelling::True);
        case 5: return Word("false", Spelling::False);
        default: return Spelling::None;
    }
}

// What the first byte of an untagged plain scalar leaves it able to be.
enum class PlainStart {
    TextOnly,
    BoolOrText,
    Letter,  // n, N, i, I: a null, inf or nan, the n/no bools, or text
    Any,
};

PlainStart ClassifyStart(char c) {
    if (IsYamlTextOnlyStart(c)) return PlainStart::TextOnly;
    switch (c) {
        case 't':
        case 'T':
        case 'y':
        case 'Y':
        case 'o':
        case 'O':
        case 'f':
        case 'F': return PlainStart::BoolOrText;
        case 'n':
        case 'N':
        case 'i':
        case 'I': return PlainStart::Letter;
        default: return PlainStart::Any;  // "~", and numbers: sign, digit, point, leading white space
    }
}

// A number that starts with a letter is inf, infinity or nan in some casing.
bool SpellsInfOrNan(std::string_view text) {
    if (text.size() < 3) return false;
    const char first = static_cast<char>(text[0] | 0x20);
    const char second = static_cast<char>(text[1] | 0x20);
    const char third = static_cast<char>(text[2] | 0x20);
    return (first == 'i' && second == 'n' && third == 'f') || (first == 'n' && second == 'a' && third == 'n');
}

// Integers up to 2^53 are exact in a double, so setting them directly gives
// what the number rule's detour through a double gives.
constexpr std::uint64_t kTwoTo53 = std::uint64_t{1} << 53;

void SetExactInteger(BindingValue& target, bool negative, std::uint64_t value) {
    // "-0" reads as a zero, and zeros are unsigned whatever their sign.
    if (negative && value != 0) {
        target.SetSigned(-static_cast<std::int64_t>(value));
    } else {
        target.SetUnsigned(value);
    }
}

bool IsNullSpelling(std::string_view text) {
    return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

// True when `number` has no fractional part (infinities included), read from
// its bits: the exponent tells which significand bits lie below the point.
bool IsWhole(double number) {
    std::uint64_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    if (exponent >= 52) return true;
    if (exponent < 0) return (bits << 1) == 0;  // a zero of either sign, else a fraction
    return (bits & ((std::uint64_t{1} << (52 - exponent)) - 1)) == 0;
}

// A plain scalar that reads as a number. Integers pass through a double, so
// digits beyond its precision are lost; integral values that no 64-bit integer
// holds stay float instead of wrapping.
void SetNumber(BindingValue& target, double number) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (std::isnan(number) || !IsWhole(number)) {
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

// The most common numbers, integers of up to 16 digits, read right here in
// 32-bit parts; false, with `target` untouched, for any other text.
bool TypeShortInteger(BindingValue& target, std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (p == end || end - p > 16) return false;
    // Beyond eight digits, the last eight are read as one group, and so are
    // the first eight of sixteen.
    const char* split = end - p > 8 ? end - 8 : end;
    std::uint32_t head = 0;
    if (split - p == 8) {
        if (!ReadEightDigits(p, head)) return false;
        p = split;
    }
    for (; p < split; ++p) {
        const std::uint32_t digit = static_cast<std::uint32_t>(static_cast<unsigned char>(*p)) - '0';
        if (digit > 9) return false;
        head = head * 10 + digit;
    }
    if (split == end) {
        SetExactInteger(target, negative, head);
        return true;
    }
    std::uint32_t last = 0;
    if (!ReadEightDigits(split, last)) return false;
    const std::uint64_t value = std::uint64_t{head} * 100000000u + last;
    if (value > kTwoTo53) return false;
    SetExactInteger(target, negative, value);
    return true;
}

// A decimal of up to 19 digits typed by the number rule, without the general
// parse; false, with `target` untouched, for any other text.
bool TypeShortDecimal(BindingValue& target, std::string_view text) {
    ShortNumber number;
    if (!ReadShortNumber(text.data(), text.data() + text.size(), number)) return false;
    if (number.kind == ShortNumber::Kind::Integer) {
        SetExactInteger(target, number.negative, number.integer);
    } else if (number.fractional) {
        target.SetFloat(number.number);
    } else {
        SetNumber(target, number.number);
    }
    return true;
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
    if (format == std::chars_format::general && ReadShortDecimal(p, end, value)) {
        out = negative ? -value : value;
        return true;
    }
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

void TypeYamlPlainScalar(BindingValue& target, std::string_view text) {
    // A fresh node is empty already; clearing one costs a call.
    if (text.empty()) {
        if (!target.IsEmpty()) target.Clear();
        return;
    }
    // The first byte rules out most of the order below: text that cannot be a
    // null, a number or a bool goes straight to string.
    const PlainStart start = ClassifyStart(text[0]);
    if (start == PlainStart::TextOnly) {
        target.SetString(text);
        return;
    }
    // The usual numbers, decimals of a few digits, in one pass; anything else
    // takes the rule's order below.
    if (start == PlainStart::Any) {
        if (text.size() <= 17 && TypeShortInteger(target, text)) return;  // a sign and 16 digits at most
        if (TypeShortDecimal(target, text)) return;
    }
    if (start != PlainStart::BoolOrText) {
        if (IsNullSpelling(text)) {
            if (!target.IsEmpty()) target.Clear();
            return;
        }
        double number = 0.0;
        if ((start == PlainStart::Any || SpellsInfOrNan(text)) && ParseYamlNumber(text, number) &&
            number != std::numeric_limits<double>::infinity()) {
            SetNumber(target, number);
            return;
        }
    }
    const Spelling spelling = BoolSpelling(text);
    if (spelling != Spelling::None) {
        target.SetBool(spelling == Spelling::True);
        return;
    }
    target.SetString(text);
}

void TypeYamlScalar(BindingResult& result, BindingValue& target, const char* tag, std::string_view text,
                    YamlScalarStyle style) {
    if (!result.IsOk()) return;
    if (tag != nullptr) {
        TypeTagged(result, target, tag, text);
    } else if (style != YamlScalarStyle::Plain) {
        target.SetString(text);
    } else {
        TypeYamlPlainScalar(target, text);
    }
}

}  // namespace hpk
