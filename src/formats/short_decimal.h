// A quick, exact reading of the common decimal numbers (coordinates, measures)
// for the YAML scalar typing: up to 19 significant digits and a power of ten
// up to 27, with which one extended-precision multiplication or division
// gives the double a full parse would. Anything else is left to the full parse.
#pragma once

namespace hpk {

// Reads [digits][.digits][(e|E)[+|-]digits] spanning exactly [p, end), with
// at least one mantissa digit, into `out` as the correctly rounded double.
// False when the text has another shape, more significant digits, a larger
// power of ten, or lies so close to halfway between two doubles that the
// extended result cannot settle the rounding: the caller parses it fully.
[[nodiscard]] bool ReadShortDecimal(const char* p, const char* end, double& out);

}  // namespace hpk
