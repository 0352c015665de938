// A quick, exact reading of the common decimal numbers (coordinates, measures)
// for the YAML scalar typing: up to 19 significant digits and a power of ten
// up to 27, with which one extended-precision multiplication or division
// gives the double a full parse would. Anything else is left to the full parse.
#pragma once
#include <cstdint>

namespace hpk {

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
