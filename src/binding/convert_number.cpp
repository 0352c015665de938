// bool, integer and floating conversions from dynamic values, and the number
// text parsers. Parsing is done here rather than through strtoll/strtod so the
// text needs no terminator and the result does not depend on errno or locale.
#include "binding/convert_number.h"

#include <charconv>
#include <cmath>
#include <cstddef>

#include "binding/binding_messages.h"
#include "diagnostics/positional_format.h"

namespace hpk {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

const char* QuotedKind(const BindingValue& value) { return KindText(value.Kind()); }

}  // namespace

ScannedInteger ScanInteger(std::string_view text) {
    ScannedInteger scanned;
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        scanned.negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '0') {
        // "0x" counts as a prefix only when a hexadecimal digit follows it;
        // otherwise the "0" is an octal number and the "x" is left over.
        if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && DigitValue(text[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    const std::size_t firstDigit = i;
    for (; i < text.size(); ++i) {
        const unsigned digit = static_cast<unsigned>(DigitValue(text[i]));
        if (digit >= base) break;
        if (scanned.magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / base) {
            scanned.overflow = true;
        } else {
            scanned.magnitude = scanned.magnitude * base + digit;
        }
    }
    scanned.end = i > firstDigit ? i : 0;
    return scanned;
}

bool ParseSignedText(BindingResult& result, std::int64_t& out, std::string_view text, std::string_view path,
                     std::string_view typeText, std::int64_t min, std::int64_t max) {
    if (!result.IsOk()) return false;
    const ScannedInteger scanned = ScanInteger(text);
    if (scanned.end != text.size()) {
        result.SetError(FormatPositional(kMsgIncorrectFormat, text, path, typeText));
        return false;
    }
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    bool inRange = !scanned.overflow && scanned.magnitude <= kLimit + (scanned.negative ? 1 : 0);
    std::int64_t parsed = 0;
    if (inRange) {
        parsed = scanned.negative ? static_cast<std::int64_t>(0 - scanned.magnitude)
                                  : static_cast<std::int64_t>(scanned.magnitude);
        inRange = parsed >= min && parsed <= max;
    }
    if (!inRange) {
        result.SetError(FormatPositional(kMsgOutOfRange, text, path, typeText));
        return false;
    }
    out = parsed;
    return true;
}

bool ParseUnsignedText(BindingResult& result, std::uint64_t& out, std::string_view text, std::string_view path,
                       std::string_view typeText, std::uint64_t max) {
    if (!result.IsOk()) return false;
    const ScannedInteger scanned = ScanInteger(text);
    if (scanned.end != text.size()) {
        result.SetError(FormatPositional(kMsgIncorrectFormat, text, path, typeText));
        return false;
    }
    // strtoull would negate "-1" into the largest value; a minus sign is never
    // a valid unsigned number, with or without leading white space.
    if (scanned.negative || scanned.overflow || scanned.magnitude > max) {
        result.SetError(FormatPositional(kMsgOutOfRange, text, path, typeText));
        return false;
    }
    out = scanned.magnitude;
    return true;
}

bool ParseFloatText(BindingResult& result, double& out, std::string_view text, std::string_view path,
                    std::string_view typeText, double max) {
    if (!result.IsOk()) return false;
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    // from_chars takes a minus sign but no plus sign.
    if (i < text.size() && text[i] == '+' && (i + 1 >= text.size() || text[i + 1] != '-')) ++i;
    double parsed = 0.0;
    const char* begin = text.data() + i;
    const char* last = text.data() + text.size();
    const std::from_chars_result scan = std::from_chars(begin, last, parsed, std::chars_format::general);
    bool overflow = false;
    if (scan.ec == std::errc::invalid_argument) {
        // No number at all: an empty text reads as 0, anything else is malformed.
        if (!text.empty()) {
            result.SetError(FormatPositional(kMsgIncorrectFormat, text, path, typeText));
            return false;
        }
    } else {
        if (scan.ptr != last) {
            result.SetError(FormatPositional(kMsgIncorrectFormat, text, path, typeText));
            return false;
        }
        overflow = scan.ec == std::errc::result_out_of_range;
    }
    if (overflow || parsed < -max || parsed > max) {
        result.SetError(FormatPositional(kMsgOutOfRange, text, path, typeText));
        return false;
    }
    out = parsed;
    return true;
}

void FromValue(BindingResult& result, bool& target, const BindingValue& value, std::string_view path) {
    if (!result.IsOk()) return;
    switch (value.Kind()) {
        case BindingValueKind::Empty: result.SetError(FormatPositional(kMsgValueRequired, path)); return;
        case BindingValueKind::Bool: target = value.AsBool(); return;
        case BindingValueKind::String: {
            const std::string_view text = value.AsString();
            if (text == "1" || text == "true") {
                target = true;
            } else if (text == "0" || text == "false") {
                target = false;
            } else {
                result.SetError(FormatPositional(kMsgBoolIncorrectFormat, text, path));
            }
            return;
        }
        default: result.SetError(FormatPositional(kMsgBoolInvalidType, path, QuotedKind(value))); return;
    }
}

bool SignedFromValue(BindingResult& result, std::int64_t& out, const BindingValue& value, std::string_view path,
                     BindingTypeKind kind, std::int64_t min, std::int64_t max) {
    if (!result.IsOk()) return false;
    const char* typeText = TypeKindText(kind);
    switch (value.Kind()) {
        case BindingValueKind::Empty: result.SetError(FormatPositional(kMsgValueRequired, path)); return false;
        case BindingValueKind::Signed:
        case BindingValueKind::Enum: {
            const std::int64_t number =
                value.Kind() == BindingValueKind::Signed ? value.AsSigned() : value.AsEnum().value;
            if (number < min || number > max) {
                result.SetError(FormatPositional(kMsgOutOfRange, number, path, typeText));
                return false;
            }
            out = number;
            return true;
        }
        case BindingValueKind::Unsigned: {
            const std::uint64_t number = value.AsUnsigned();
            if (number > static_cast<std::uint64_t>(max)) {
                result.SetError(FormatPositional(kMsgOutOfRange, number, path, typeText));
                return false;
            }
            out = static_cast<std::int64_t>(number);
            return true;
        }
        case BindingValueKind::Float: {
            const double number = value.AsFloat();
            // 2^63 passes "above max" once max is rounded to a double, yet does
            // not fit; NaN compares false with everything. Both are refused.
            if (std::isnan(number) || number < static_cast<double>(min) || number > static_cast<double>(max) ||
                number >= 9223372036854775808.0) {
                result.SetError(FormatPositional(kMsgOutOfRange, number, path, typeText));
                return false;
            }
            out = static_cast<std::int64_t>(number);
            return true;
        }
        case BindingValueKind::String: return ParseSignedText(result, out, value.AsString(), path, typeText, min, max);
        default: result.SetError(FormatPositional(kMsgInvalidType, path, typeText, QuotedKind(value))); return false;
    }
}

bool UnsignedFromValue(BindingResult& result, std::uint64_t& out, const BindingValue& value, std::string_view path,
                       BindingTypeKind kind, std::uint64_t max) {
    if (!result.IsOk()) return false;
    const char* typeText = TypeKindText(kind);
    switch (value.Kind()) {
        case BindingValueKind::Empty: result.SetError(FormatPositional(kMsgValueRequired, path)); return false;
        case BindingValueKind::Signed:
        case BindingValueKind::Enum: {
            const std::int64_t number =
                value.Kind() == BindingValueKind::Signed ? value.AsSigned() : value.AsEnum().value;
            if (number < 0 || static_cast<std::uint64_t>(number) > max) {
                result.SetError(FormatPositional(kMsgOutOfRange, number, path, typeText));
                return false;
            }
            out = static_cast<std::uint64_t>(number);
            return true;
        }
        case BindingValueKind::Unsigned: {
            const std::uint64_t number = value.AsUnsigned();
            if (number > max) {
                result.SetError(FormatPositional(kMsgOutOfRange, number, path, typeText));
                return false;
            }
            out = number;
            return true;
        }
        case BindingValueKind::Float: {
            const double number = value.AsFloat();
            if (std::isnan(number) || number < 0.0 || number > static_cast<double>(max) ||
                number >= 18446744073709551616.0) {
                result.SetError(FormatPositional(kMsgOutOfRange, number, path, typeText));
                return false;
            }
            out = static_cast<std::uint64_t>(number);
            return true;
        }
        case BindingValueKind::String: return ParseUnsignedText(result, out, value.AsString(), path, typeText, max);
        default: result.SetError(FormatPositional(kMsgInvalidType, path, typeText, QuotedKind(value))); return false;
    }
}

bool FloatFromValue(BindingResult& result, double& out, const BindingValue& value, std::string_view path,
                    BindingTypeKind kind, double max) {
    if (!result.IsOk()) return false;
    const char* typeText = TypeKindText(kind);
    switch (value.Kind()) {
        case BindingValueKind::Empty: result.SetError(FormatPositional(kMsgValueRequired, path)); return false;
        case BindingValueKind::Signed: out = static_cast<double>(value.AsSigned()); return true;
        case BindingValueKind::Unsigned: out = static_cast<double>(value.AsUnsigned()); return true;
        case BindingValueKind::Enum: out = static_cast<double>(value.AsEnum().value); return true;
        case BindingValueKind::Float: {
            const double number = value.AsFloat();
            if (number < -max || number > max) {
                result.SetError(FormatPositional(kMsgOutOfRange, number, path, typeText));
                return false;
            }
            out = number;
            return true;
        }
        case BindingValueKind::String: return ParseFloatText(result, out, value.AsString(), path, typeText, max);
        default: result.SetError(FormatPositional(kMsgInvalidType, path, typeText, QuotedKind(value))); return false;
    }
}

void FromValue(BindingResult& result, float& target, const BindingValue& value, std::string_view path) {
    double wide = 0.0;
    if (FloatFromValue(result, wide, value, path, BindingTypeKind::Float,
                       static_cast<double>(std::numeric_limits<float>::max()))) {
        target = static_cast<float>(wide);
    }
}

void FromValue(BindingResult& result, double& target, const BindingValue& value, std::string_view path) {
    double wide = 0.0;
    if (FloatFromValue(result, wide, value, path, BindingTypeKind::Double, std::numeric_limits<double>::max())) {
        target = wide;
    }
}

}  // namespace hpk
