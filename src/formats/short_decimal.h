// A quick, exact reading of the common decimal numbers (coordinates, measures)
// for the YAML scalar typing: up to 19 significant digits and a power of ten
// up to 27, with which one extended-precision multiplication or division
// gives the double a full parse would. Anything else is left to the full parse.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hpk {

// A decimal number's parts: its value is +-mantissa * 10^scale.
struct ShortDecimal {
    std::uint64_t mantissa;
    int scale;
    bool negative;
    bool integer;  // written without point or exponent
};

// Reads [digits][.digits][(e|E)[+|-]digits] spanning exactly [p, end), with
// at least one mantissa digit, into `out` as the correctly rounded double.
// False when the text has another shape, more significant digits, a larger
// power of ten, or lies so close to halfway between two doubles that the
// extended result cannot settle the rounding: the caller parses it fully.
[[nodiscard]] bool ReadShortDecimal(const char* p, const char* end, double& out);

// The digits from `p` on appended to `m`; returns the end of their run.
const char* AppendShortDigits(const char* p, const char* end, std::uint64_t& m);
// At `p`, just past a mantissa: an optional exponent, (e|E)[+|-]digits with
// at most four digits, added to `scale`, and `p` moved past it. False for an
// exponent mark without digits or with more of them.
bool ReadShortExponent(const char*& p, const char* end, int& scale);

// Splits [+|-][digits][.digits][(e|E)[+|-]digits] spanning exactly [p, end),
// with one to 19 mantissa digits (leading zeros included) and an exponent of
// at most four digits, into `out`. False for any other text. Inline: the
// plain scalars of a document come through here one by one.
[[nodiscard]] inline bool ScanShortDecimal(const char* p, const char* end, ShortDecimal& out) {
    constexpr std::ptrdiff_t kMaxDigits = 19;
    out.negative = false;
    if (p < end && (*p == '+' || *p == '-')) out.negative = *p++ == '-';
    // The first nine digits fit 32 bits, which cost the target less than 64:
    // most integers end there.
    const char* integer = p;
    const char* headEnd = end - p > 9 ? p + 9 : end;
    std::uint32_t head = 0;
    for (; p < headEnd; ++p) {
        const std::uint32_t digit = static_cast<std::uint32_t>(static_cast<unsigned char>(*p)) - '0';
        if (digit > 9) break;
        head = head * 10 + digit;
    }
    std::uint64_t mantissa = head;
    if (p == headEnd && p < end) p = AppendShortDigits(p, end, mantissa);
    std::ptrdiff_t digits = p - integer;
    int scale = 0;
    out.integer = true;
    if (p < end && *p == '.') {
        out.integer = false;
        const char* fraction = ++p;
        p = AppendShortDigits(p, end, mantissa);
        scale = -static_cast<int>(p - fraction);
        digits += p - fraction;
    }
    // Counting leading zeros too keeps the mantissa below 10^19; the rare
    // longer texts take the full parse.
    if (digits == 0 || digits > kMaxDigits) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        out.integer = false;
        if (!ReadShortExponent(p, end, scale)) return false;
    }
    if (p != end) return false;
    out.mantissa = mantissa;
    out.scale = scale;
    return true;
}

// mantissa * 10^scale as the correctly rounded double; false when the power
// is beyond 10^27 either way or the rounding is undecided, as above.
[[nodiscard]] bool ScaledToDouble(std::uint64_t mantissa, int scale, double& out);

}  // namespace hpk
