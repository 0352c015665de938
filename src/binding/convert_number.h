// Conversion of dynamic values into bool, integer and floating targets, and
// the text parsers behind them, which the YAML reader also uses for tagged
// scalars. Every function leaves a result that has already failed untouched
// (the first error wins) and reports with the messages of binding_messages.h.
//
// Number text grammar (integers), as the C library's strtoll reads it:
//   text    := space* sign? body
//   space   := " " | "\t" | "\n" | "\v" | "\f" | "\r"
//   sign    := "+" | "-"
//   body    := "0" ("x" | "X") hexdigit+     hexadecimal
//            | "0" octdigit*                 octal
//            | decdigit+                     decimal
// Anything after the body is an incorrect format; an empty text reads as 0.
// Example: "0x1F" -> 31, "017" -> 15, "12abc" -> incorrect format.
// Floating text is decimal (digits, optional fraction, optional exponent, or
// inf/infinity/nan), after optional white space and sign.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <type_traits>

#include "binding/binding_type_record.h"
#include "binding/binding_value.h"

namespace hpk {

// One integer of the grammar above, as strtoll/strtoull would see it: sign,
// magnitude (saturated, with `overflow` set, past 64 bits) and where the number
// ends. `end` is 0 when no digit was read, as strtoll leaves its end pointer at
// the start of the text then. The one scanner of integer text: the parsers
// below and the router's member-path indices read with it.
struct ScannedInteger {
    bool negative = false;
    bool overflow = false;
    std::uint64_t magnitude = 0;
    std::size_t end = 0;
};
[[nodiscard]] ScannedInteger ScanInteger(std::string_view text);

// Parses `text` as a signed 64-bit integer with automatic base. Fails with the
// incorrect-format message when characters are left over, and with the
// out-of-range message (quoting the text) on overflow or outside [min, max].
// `typeText` is the type named in the messages ("int32", "int64_t", ...).
// Returns false when `result` failed, now or before.
[[nodiscard]] bool ParseSignedText(BindingResult& result, std::int64_t& out, std::string_view text,
                                   std::string_view path, std::string_view typeText, std::int64_t min,
                                   std::int64_t max);
// As above, unsigned; any minus sign is out of range (after the format check).
[[nodiscard]] bool ParseUnsignedText(BindingResult& result, std::uint64_t& out, std::string_view text,
                                     std::string_view path, std::string_view typeText, std::uint64_t max);
// Decimal floating text; out of range beyond [-max, max] (infinities included)
// or when the parse overflows.
[[nodiscard]] bool ParseFloatText(BindingResult& result, double& out, std::string_view text, std::string_view path,
                                  std::string_view typeText, double max);

// bool target: a bool value, or exactly the strings "1", "0", "true", "false".
void FromValue(BindingResult& result, bool& target, const BindingValue& value, std::string_view path);

// Integer targets of any width, checked against [min, max]; `kind` names the
// target in messages. Return true when `out` was set.
[[nodiscard]] bool SignedFromValue(BindingResult& result, std::int64_t& out, const BindingValue& value,
                                   std::string_view path, BindingTypeKind kind, std::int64_t min, std::int64_t max);
[[nodiscard]] bool UnsignedFromValue(BindingResult& result, std::uint64_t& out, const BindingValue& value,
                                     std::string_view path, BindingTypeKind kind, std::uint64_t max);
// Floating targets with range [-max, max]; the caller narrows to its width.
[[nodiscard]] bool FloatFromValue(BindingResult& result, double& out, const BindingValue& value, std::string_view path,
                                  BindingTypeKind kind, double max);

// The BindingTypeKind of a native integer type (by width and signedness).
template <class T>
constexpr BindingTypeKind IntegerKindOf() {
    static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>, "integer types only");
    switch (sizeof(T)) {
        case 1: return std::is_signed_v<T> ? BindingTypeKind::Int8 : BindingTypeKind::UInt8;
        case 2: return std::is_signed_v<T> ? BindingTypeKind::Int16 : BindingTypeKind::UInt16;
        case 4: return std::is_signed_v<T> ? BindingTypeKind::Int32 : BindingTypeKind::UInt32;
        default: return std::is_signed_v<T> ? BindingTypeKind::Int64 : BindingTypeKind::UInt64;
    }
}

// Any native integer target: int8_t ... uint64_t, long, char.
template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
void FromValue(BindingResult& result, T& target, const BindingValue& value, std::string_view path) {
    if constexpr (std::is_signed_v<T>) {
        std::int64_t wide = 0;
        if (SignedFromValue(result, wide, value, path, IntegerKindOf<T>(), std::numeric_limits<T>::min(),
                            std::numeric_limits<T>::max())) {
            target = static_cast<T>(wide);
        }
    } else {
        std::uint64_t wide = 0;
        if (UnsignedFromValue(result, wide, value, path, IntegerKindOf<T>(), std::numeric_limits<T>::max())) {
            target = static_cast<T>(wide);
        }
    }
}

void FromValue(BindingResult& result, float& target, const BindingValue& value, std::string_view path);
void FromValue(BindingResult& result, double& target, const BindingValue& value, std::string_view path);

}  // namespace hpk
