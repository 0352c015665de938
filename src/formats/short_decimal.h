// A quick, exact reading of the common decimal numbers (coordinates, measures)
// for the YAML scalar typing: up to 19 significant digits and a power of ten
// up to 27, with which one extended-precision multiplication or division
// gives the double a full parse would. Anything else is left to the full parse.
#pragma once
#include <cstdint>
#include <cstring>

namespace hpk {

// Digits four at a time, in a word of four bytes less '0' each
// (little-endian: the first digit is the low byte). A byte is a digit when
// subtracting '0' leaves at most 9: adding 0x76 then sets no top bit, nor
// does the subtraction itself.
[[nodiscard]] inline bool AreDigits(std::uint32_t word) {
    return (((word + 0x76767676u) | word) & 0x80808080u) == 0;
}
// Two words at once, with one test.
[[nodiscard]] inline bool AreDigits(std::uint32_t first, std::uint32_t second) {
    return (((first + 0x76767676u) | first | (second + 0x76767676u) | second) & 0x80808080u) == 0;
}

// Such a word of digits as a number below 10^4: two two-digit numbers, then
// one four-digit number, with two multiplications.
[[nodiscard]] inline std::uint32_t FourDigits(std::uint32_t word) {
    word = word * 10 + (word >> 8);
    return ((word & 0x00FF00FFu) * (1u + (100u << 16))) >> 16;
}

// The eight bytes at `p` as a number below 10^8 when they are all decimal
// digits.
//
// With `skip` (below 8), the first `skip` bytes must be digits too but count
// as zeros: the last 8 - skip digits of a run are read as one group that ends
// where the run ends.
[[nodiscard]] inline bool ReadEightDigits(const char* p, std::uint32_t& out, unsigned skip = 0) {
    std::uint32_t high;
    std::uint32_t low;
    std::memcpy(&high, p, sizeof high);
    std::memcpy(&low, p + 4, sizeof low);
    high -= 0x30303030u;
    low -= 0x30303030u;
    if (!AreDigits(high, low)) return false;
    if (skip >= 4) {
        high = 0;
        low &= ~0u << (8 * (skip - 4));
    } else {
        high &= ~0u << (8 * skip);
    }
    out = FourDigits(high) * 10000u + FourDigits(low);
    return true;
}

// A short decimal read in one pass, as the number rule types it.
struct ShortNumber {
    enum class Kind : std::uint8_t { Integer, Number };
    Kind kind;
    bool negative;          // Integer: the sign written
    bool fractional;        // Number: certainly not whole
    std::uint64_t integer;  // Integer: the magnitude, at most 2^53
    double number;          // Number: the value, correctly rounded
};

// Reads [digits][.digits][(e|E)[+|-]digits] spanning exactly [p, end), with
// at least one mantissa digit, into `out` as the correctly rounded double.
// False when the text has another shape, more significant digits, a larger
// power of ten, or lies so close to halfway between two doubles that the
// extended result cannot settle the rounding: the caller parses it fully.
[[nodiscard]] bool ReadShortDecimal(const char* p, const char* end, double& out);

// Reads [+|-][digits][.digits][(e|E)[+|-]digits] spanning exactly [p, end),
// with one to 19 mantissa digits (leading zeros included) and an exponent of
// at most four digits. An integer (no point, no exponent) up to 2^53 comes out
// as such: a double holds it exactly. Anything else comes out as the correctly
// rounded double, with `fractional` set when the text shows it is not whole.
// False for any other text, and where ReadShortDecimal would be.
[[nodiscard]] bool ReadShortNumber(const char* p, const char* end, ShortNumber& out);

}  // namespace hpk
