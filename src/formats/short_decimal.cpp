// Short decimals through the x87 unit's 64-bit significand.
//
// Why this is exact: a mantissa of at most 19 digits is below 2^64 and every
// power of ten up to 10^27 (5^27 < 2^64) is exact in the 80-bit format, so one
// multiplication or division gives the true value rounded once to 64 bits,
// within half a 64-bit unit. Rounding that to the double's 53 bits gives the
// same double as rounding the true value, unless the 64-bit result sits
// exactly on a halfway point between two doubles (its low 11 bits are then
// 0x400); only then does the true value's side of the halfway point matter,
// and those inputs go to the full parse. The results lie between 1e-27 and
// 1e46, far from the double's subnormal and overflow ranges.
//
// The commonest shape takes a shorter way: a mantissa below 2^53 and a power
// of ten up to 10^22 are both exact doubles, so one division at the unit's
// double precision is the correctly rounded quotient, with no halfway case.
#include "formats/short_decimal.h"

#include <cstdint>
#include <cstring>

namespace hpk {
namespace {

constexpr long double kPowers[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
                                   1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
                                   1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
constexpr std::uint32_t kPowers32[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
constexpr std::uint64_t kPowers64[] = {1u,
                                       10u,
                                       100u,
                                       1000u,
                                       10000u,
                                       100000u,
                                       1000000u,
                                       10000000u,
                                       100000000u,
                                       1000000000u,
                                       10000000000u,
                                       100000000000u,
                                       1000000000000u,
                                       10000000000000u,
                                       100000000000000u,
                                       1000000000000000u,
                                       10000000000000000u};
constexpr int kMaxPower = 27;
constexpr int kMaxDigits = 19;

bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

std::uint32_t Load32(const char* p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The end of the run of digits starting at `p`, four bytes at a time while
// they last.
const char* DigitsEnd(const char* p, const char* end) {
    while (end - p >= 4 && AreDigits(Load32(p) - 0x30303030u)) p += 4;
    while (p < end && IsDigit(*p)) ++p;
    return p;
}

// `m` followed by the decimal digits of [p, q), four at a time.
std::uint64_t AppendDigits(std::uint64_t m, const char* p, const char* q) {
    for (; q - p >= 4; p += 4) m = m * 10000u + FourDigits(Load32(p) - 0x30303030u);
    for (; p < q; ++p) m = m * 10 + static_cast<unsigned>(*p - '0');
    return m;
}

// The host process may run the x87 unit at reduced precision (graphics
// runtimes do): a computation sets the precision it needs and round-to-nearest
// for itself and puts the caller's control word back.
class X87Precision {
public:
    static constexpr std::uint16_t kDouble = 0x0200;    // 53-bit significands
    static constexpr std::uint16_t kExtended = 0x0300;  // 64-bit significands

    explicit X87Precision(std::uint16_t precision) {
        __asm__ volatile("fnstcw %0" : "=m"(saved_));
        const std::uint16_t wanted = static_cast<std::uint16_t>((saved_ & ~0x0F00u) | precision);
        __asm__ volatile("fldcw %0" : : "m"(wanted));
    }
    ~X87Precision() { __asm__ volatile("fldcw %0" : : "m"(saved_)); }
    X87Precision(const X87Precision&) = delete;
    X87Precision& operator=(const X87Precision&) = delete;

private:
    std::uint16_t saved_;
};

// The digits from `p` on appended to `m`; returns the end of their run:
// DigitsEnd and AppendDigits in one pass. Eight
// digits are joined in 32 bits first, so the wide multiplication comes once
// per eight, and once for the last few.
inline const char* AppendShortDigits(const char* p, const char* end, std::uint64_t& m) {
    std::uint32_t group = 0;
    while (end - p >= 8 && ReadEightDigits(p, group)) {
        m = m * 100000000u + group;
        p += 8;
    }
    if (end - p >= 4) {
        const std::uint32_t word = Load32(p) - 0x30303030u;
        if (AreDigits(word)) {
            m = m * 10000u + FourDigits(word);
            p += 4;
        }
    }
    // Fewer than four digits are left: a non-digit or the end comes first.
    const char* start = p;
    std::uint32_t tail = 0;
    for (; p < end; ++p) {
        const std::uint32_t digit = static_cast<std::uint32_t>(static_cast<unsigned char>(*p)) - '0';
        if (digit > 9) break;
        tail = tail * 10 + digit;
    }
    if (p != start) m = m * kPowers32[p - start] + tail;
    return p;
}

// At `p`, just past a mantissa: an optional exponent, (e|E)[+|-]digits with
// at most four digits, added to `scale`, and `p` moved past it. False for an
// exponent mark without digits or with more of them.
bool ReadShortExponent(const char*& p, const char* end, int& scale) {
    if (p == end || (*p != 'e' && *p != 'E')) return true;
    ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return false;
    int exponent = 0;
    for (int count = 0; p < end && IsDigit(*p); ++p) {
        if (++count > 4) return false;
        exponent = exponent * 10 + (*p - '0');
    }
    scale += negative ? -exponent : exponent;
    return true;
}

// mantissa * 10^scale as the correctly rounded double; false when the power
// is beyond 10^27 either way or the rounding is undecided.
bool ScaledToDouble(std::uint64_t mantissa, int scale, double& out) {
    if (mantissa == 0) {
        out = 0.0;
        return true;
    }
    if (scale > kMaxPower || scale < -kMaxPower) return false;
    X87Precision precision(X87Precision::kExtended);
    const long double m = static_cast<long double>(mantissa);
    const long double value = scale >= 0 ? m * kPowers[scale] : m / kPowers[-scale];
    std::uint64_t significand;
    std::memcpy(&significand, &value, sizeof significand);  // the low 8 bytes: the 64-bit significand
    if ((significand & 0x7FFu) == 0x400u) return false;     // on a halfway point: undecided
    volatile double rounded = static_cast<double>(value);   // stored: rounded to 53 bits here
    out = rounded;
    return true;
}

// The commonest decimals (coordinates, measures): one to three integer
// digits, a point, and 8 to 16 fraction digits that end the text. The integer
// digits are found and read in one four-byte word; the fraction as two groups
// of eight, the second one ending with the text. A mantissa below 2^53 and
// its power of ten (at most 10^16) are exact doubles, so one correctly
// rounded division gives the double; larger ones take the extended way.
// False, with `out` untouched, for any other text.
inline bool ReadPointDecimal(const char* p, const char* end, bool negative, ShortNumber& out) {
    if (end - p < 10) return false;  // shorter than d.dddddddd
    const std::uint32_t word = Load32(p) - 0x30303030u;
    // The lowest flagged byte is the first non-digit: bytes below it are
    // digits, which neither borrow nor carry into it.
    const std::uint32_t nonDigits = ((word + 0x76767676u) | word) & 0x80808080u;
    if (nonDigits == 0) return false;
    const unsigned count = static_cast<unsigned>(__builtin_ctz(nonDigits)) >> 3;
    if (count == 0 || p[count] != '.') return false;
    const char* fraction = p + count + 1;
    const std::ptrdiff_t places = end - fraction;
    if (places < 8 || places > 16) return false;
    std::uint32_t first = 0;
    std::uint32_t rest = 0;
    if (!ReadEightDigits(fraction, first)) return false;
    if (places > 8 && !ReadEightDigits(end - 8, rest, static_cast<unsigned>(16 - places))) return false;
    // The integer digits as the last ones of a four-digit group.
    const std::uint32_t head = FourDigits(word << (8 * (4 - count)));
    const std::uint64_t fractionDigits = std::uint64_t{first} * kPowers32[places - 8] + rest;
    const std::uint64_t mantissa = std::uint64_t{head} * kPowers64[places] + fractionDigits;
    double number = 0.0;
    if (mantissa < (std::uint64_t{1} << 53)) {
        // At double precision one division of exact operands is rounded
        // once, to the double IEEE arithmetic gives.
        X87Precision precision(X87Precision::kDouble);
        volatile double rounded = static_cast<long double>(static_cast<std::int64_t>(mantissa)) / kPowers[places];
        number = rounded;
    } else if (!ScaledToDouble(mantissa, -static_cast<int>(places), number)) {
        return false;
    }
    out.kind = ShortNumber::Kind::Number;
    out.number = negative ? -number : number;
    out.fractional = fractionDigits != 0 && mantissa < (std::uint64_t{1} << 53);
    return true;
}

}  // namespace

bool ReadShortDecimal(const char* p, const char* end, double& out) {
    // The shape first: digits, an optional point and digits.
    const char* integer = p;
    const char* integerEnd = DigitsEnd(p, end);
    const char* fraction = integerEnd;
    const char* fractionEnd = integerEnd;
    p = integerEnd;
    if (p < end && *p == '.') {
        fraction = p + 1;
        fractionEnd = DigitsEnd(fraction, end);
        p = fractionEnd;
    }
    if (integer == integerEnd && fraction == fractionEnd) return false;  // no digit at all
    int scale = -static_cast<int>(fractionEnd - fraction);               // power of ten the mantissa is multiplied by
    // Leading zeros carry no digit of the mantissa.
    while (integer < integerEnd && *integer == '0') ++integer;
    if (integer == integerEnd) {
        while (fraction < fractionEnd && *fraction == '0') ++fraction;
    }
    if ((integerEnd - integer) + (fractionEnd - fraction) > kMaxDigits) return false;
    if (!ReadShortExponent(p, end, scale) || p != end) return false;
    return ScaledToDouble(AppendDigits(AppendDigits(0, integer, integerEnd), fraction, fractionEnd), scale, out);
}

bool ReadShortNumber(const char* p, const char* end, ShortNumber& out) {
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (ReadPointDecimal(p, end, negative, out)) return true;
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
    if (p == end && p != integer) {
        out.kind = ShortNumber::Kind::Integer;
        out.negative = negative;
        out.integer = head;
        return true;
    }
    std::uint64_t mantissa = head;
    if (p == headEnd) p = AppendShortDigits(p, end, mantissa);
    std::ptrdiff_t digits = p - integer;
    int scale = 0;
    bool fractional = false;
    bool whole = true;  // no point, no exponent
    if (p < end && *p == '.') {
        whole = false;
        const char* fraction = ++p;
        p = AppendShortDigits(p, end, mantissa);
        scale = -static_cast<int>(p - fraction);
        digits += p - fraction;
        const char* last = p;
        while (last > fraction && last[-1] == '0') --last;
        fractional = last != fraction;
    }
    // Counting leading zeros too keeps the mantissa below 10^19; the rare
    // longer texts take the full parse.
    if (digits == 0 || digits > kMaxDigits) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        whole = false;
        fractional = false;
        if (!ReadShortExponent(p, end, scale)) return false;
    }
    if (p != end) return false;
    if (whole && mantissa <= (std::uint64_t{1} << 53)) {
        out.kind = ShortNumber::Kind::Integer;
        out.negative = negative;
        out.integer = mantissa;
        return true;
    }
    double number = 0.0;
    if (!ScaledToDouble(mantissa, scale, number)) return false;
    out.kind = ShortNumber::Kind::Number;
    out.number = negative ? -number : number;
    // A fraction that is not zero keeps the double from being whole while the
    // mantissa is below 2^53: the distance to the nearest integer, at least
    // one unit of the last digit, exceeds half the double's spacing there.
    out.fractional = fractional && mantissa < (std::uint64_t{1} << 53);
    return true;
}

}  // namespace hpk
