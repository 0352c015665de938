// ReadShortDecimal against the full parse: the same double, bit for bit, on
// every input it accepts, and a refusal (not a wrong value) for the rest.
#include "formats/short_decimal.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

namespace hpk {
namespace {

std::uint64_t Bits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// True when the quick reading took `text`; then it must agree with from_chars.
bool AgreesWithFullParse(const std::string& text) {
    double quick = -1.0;
    const bool taken = ReadShortDecimal(text.data(), text.data() + text.size(), quick);
    if (!taken) return false;
    double full = 0.0;
    const std::from_chars_result scan = std::from_chars(text.data(), text.data() + text.size(), full);
    EXPECT_EQ(scan.ptr, text.data() + text.size()) << text;
    EXPECT_EQ(Bits(quick), Bits(full)) << text;
    return true;
}

TEST(ShortDecimal, TakesTheCommonShapesAndAgreesWithTheFullParse) {
    const char* taken[] = {"0",
                           "0.0",
                           "000.000",
                           "5",
                           "5.",
                           ".5",
                           "1e5",
                           "1E-5",
                           "2.5e+3",
                           "-65.61361699999998",
                           "43.418052999999986",
                           "0.1",
                           "0.3",
                           "9007199254740996",
                           "1234567890123456789",
                           "0.000000000000000000000000001",
                           "123456789012345678.9",
                           "1e27",
                           "1e-27",
                           "4.35",
                           "99.99999999999999999"};
    for (const char* text : taken) {
        SCOPED_TRACE(text);
        // The sign is the caller's: strip it the way the YAML typing does.
        const std::string unsigned_text = text[0] == '-' ? std::string(text + 1) : std::string(text);
        EXPECT_TRUE(AgreesWithFullParse(unsigned_text));
    }
}

TEST(ShortDecimal, LeavesEverythingElseToTheFullParse) {
    const char* refused[] = {"", ".", "e5", "1e", "1e+", "1.2.3", "1_000", "0x10", "inf", "nan", "1 ", " 1", "+1", "-1",
                             "1e99999",
                             "12345678901234567890",  // 20 significant digits
                             "1e28", "1e-28", "0.0000000000000000000000000001", "1.5f",
                             // 2^53 + 1: exactly halfway between two doubles, which
                             // the extended result cannot settle.
                             "9007199254740993"};
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        double out = 0.0;
        EXPECT_FALSE(ReadShortDecimal(text, text + std::strlen(text), out));
    }
}

TEST(ShortDecimal, RandomDecimalsReadAsTheFullParseReadsThem) {
    // Mantissas of every length up to 19 digits with points anywhere and
    // exponents around the edge of the quick range; halfway cases included
    // by construction (odd 17-19 digit mantissas near powers of two).
    std::mt19937_64 random(7);
    std::size_t taken = 0;
    for (int i = 0; i < 200000; ++i) {
        const int length = 1 + static_cast<int>(random() % 19);
        std::string digits;
        for (int j = 0; j < length; ++j) digits.push_back(static_cast<char>('0' + random() % 10));
        std::string text = digits;
        const int point = static_cast<int>(random() % (length + 2));
        if (point <= length && random() % 4 != 0) text.insert(static_cast<std::size_t>(point), ".");
        if (random() % 3 == 0) {
            const int exponent = static_cast<int>(random() % 61) - 30;
            text += "e" + std::to_string(exponent);
        }
        if (AgreesWithFullParse(text)) ++taken;
    }
    EXPECT_GT(taken, 100000u);  // most of them take the quick way
}

TEST(ShortDecimal, KeepsTheCallersFloatingPointControlWord) {
    std::uint16_t before = 0;
    __asm__ volatile("fnstcw %0" : "=m"(before));
    // Reduced precision, as a graphics runtime may leave it.
    const std::uint16_t reduced = static_cast<std::uint16_t>((before & ~0x0300u));
    __asm__ volatile("fldcw %0" : : "m"(reduced));
    double out = 0.0;
    const char text[] = "43.418052999999986";
    EXPECT_TRUE(ReadShortDecimal(text, text + sizeof text - 1, out));
    std::uint16_t after = 0;
    __asm__ volatile("fnstcw %0" : "=m"(after));
    __asm__ volatile("fldcw %0" : : "m"(before));
    EXPECT_EQ(after, reduced);
    double full = 0.0;
    std::from_chars(text, text + sizeof text - 1, full);
    EXPECT_EQ(Bits(out), Bits(full));  // exact even though the caller ran at single precision
}

}  // namespace
}  // namespace hpk
