// How a YAML scalar becomes a dynamic value: explicit tags, quoting, and the
// typing of untagged plain scalars (null, number, bool, else string).
#pragma once
#include <cstdint>
#include <string_view>

#include "binding/binding_value.h"

namespace hpk {

enum class YamlScalarStyle { Plain, Quoted, Block };

// Types one scalar into `target`, replacing what it held. `tag` is the
// resolved tag or null. Untagged plain text is tried in order:
//   null:   "", "~", "null", "Null", "NULL"                    -> empty
//   number: the whole text reads as a C floating number (decimal, 0x hex,
//           inf/infinity/nan in any case, leading white space) and is not +inf;
//           a fractional part gives float, else unsigned (>= 0) or signed (< 0),
//           through a double. Integral values outside the 64-bit ranges
//           (-inf included) stay float rather than wrap.
//   bool:   true/True/TRUE/y/Y/yes/Yes/YES/on/On/ON and the false spellings
//   else    string
// Quoted and block scalars are strings. Tags: str, int (signed when the text
// starts with "-"), float, bool (an unknown spelling leaves the target empty);
// any other tag fails. Failures go into `result` (first error wins).
void TypeYamlScalar(BindingResult& result, BindingValue& target, const char* tag, std::string_view text,
                    YamlScalarStyle style);
// The untagged plain case of TypeYamlScalar, which cannot fail.
void TypeYamlPlainScalar(BindingValue& target, std::string_view text);

namespace yaml_scalar_detail {
// The first bytes of nulls, numbers (sign, digit, point, leading white space)
// and bools, as a bit set over the 128 ASCII bytes.
constexpr std::uint32_t PlainCandidates(unsigned word) {
    constexpr char kCandidates[] = "tTyYoOfFnNiI~+-. \t\n\v\f\r0123456789";
    std::uint32_t bits = 0;
    for (const char c : kCandidates) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte != 0 && byte / 32 == word) bits |= std::uint32_t{1} << (byte % 32);
    }
    return bits;
}
inline constexpr std::uint32_t kPlainCandidates[4] = {PlainCandidates(0), PlainCandidates(1), PlainCandidates(2),
                                                      PlainCandidates(3)};
}  // namespace yaml_scalar_detail

// True when untagged plain text starting with `first` is a string whatever
// follows: no null, number or bool starts with that byte. Inline, so that the
// reader sends most text straight to string.
inline bool IsYamlTextOnlyStart(char first) {
    const auto byte = static_cast<unsigned char>(first);
    return byte >= 128 || ((yaml_scalar_detail::kPlainCandidates[byte / 32] >> (byte % 32)) & 1u) == 0;
}

// True when `text` reads completely as a C floating number, as strtod would
// read it in the "C" locale; `out` receives the value (overflow gives
// +-infinity, underflow a zero of the text's sign). Locale-independent.
[[nodiscard]] bool ParseYamlNumber(std::string_view text, double& out);

}  // namespace hpk
