// The positional formatter behind every caller-visible message: printf-like
// directives whose placeholders name their argument by position, with each
// conversion checked against the argument's type. No C varargs reach it.
//
// Directive grammar (N and M are decimal numbers starting with 1..9):
//   "%%"           a literal "%"
//   "%N"           argument N with its type's default conversion; N must not
//                  exceed the argument count. The next character is plain text,
//                  so with two arguments "%2d" writes argument 2 and a letter d.
//   "%N$" specifier     argument N formatted with that specifier
//   "%" specifier       the next argument in sequence formatted with that specifier; this is
//                  also how "%N" with N above the argument count is read (N is
//                  then a width, as in printf's "%10s")
//   specifier      := flags* width? ("." precision)? length? conversion
//   flags     := "-" | "+" | " " | "#" | "0"
//   width     := digits | "*" | "*M$"            (precision takes the same forms)
//   length    := "hh" | "h" | "ll" | "l" | "L" | "j" | "t" | "z"
//   conversion:= any one character; the end of the format ends a specifier without one
// The sequence counter starts at 1 and advances for every "%" specifier directive and
// for every "*" that does not name its argument; "%N" and "%N$" leave it alone.
//
// Typing: a conversion the argument's type does not allow is replaced by the
// type's default (table below), so "%1$s" of an integer prints as "%d" and no
// directive can read memory the argument does not have. For the same reason the
// length modifier always follows the argument's real width: "h" and "hh" narrow
// integers as printf would, every other modifier is replaced by the argument's
// own ("ll" for 64-bit integers, none otherwise). "*" widths and precisions take
// 32-bit integers and characters only. Widths and precisions above 8192 are
// treated as 8192: nothing wider fits a message, and the C runtime would spend
// seconds (or its stack) padding such a field.
//
//   type                  allowed    default form of "%N"
//   signed 32-bit         dciouxX    %d
//   unsigned 32-bit       ucdioxX    %u
//   signed 64-bit         dciouxX    %lld
//   unsigned 64-bit       ucdioxX    %llu
//   double                gaefGAEF   %g
//   character             cdiouxX    %c
//   text                  s          %s     (a null pointer prints "(null)")
//
// Formatting stops, keeping what was written so far, when a directive refers to
// an argument that does not exist (an index above the count, "%N$" included, or a
// sequence that runs past the last argument), when a "*" refers to an argument
// that cannot serve as an integer, when a specifier grows beyond 59 characters, and
// when the output is full. It never reports an error.
//
// Example: FormatPositional("Unknown argument '%1' for '%2'.", "x", "F")
//          gives "Unknown argument 'x' for 'F'."
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hpk {

enum class FormatArgumentType : std::uint8_t {
    Signed32 = 0,
    Unsigned32 = 1,
    Signed64 = 2,
    Unsigned64 = 3,
    Double = 4,
    Character = 5,
    Text = 6,
};

// One argument of the formatter: a copy of a scalar, or a borrowed view of a
// text that must stay valid until the format call returns. Implicit on purpose,
// so calls read like printf. `long` follows its platform width (32-bit on both
// of our targets). Other types (e.g. a version) are passed as their text.
class FormatArgument {
public:
    FormatArgument(int value) : type_(FormatArgumentType::Signed32) { scalar_.signedValue = value; }
    FormatArgument(unsigned value) : type_(FormatArgumentType::Unsigned32) { scalar_.unsignedValue = value; }
    FormatArgument(long value)
        : type_(sizeof(long) == 8 ? FormatArgumentType::Signed64 : FormatArgumentType::Signed32) {
        scalar_.signedValue = value;
    }
    FormatArgument(unsigned long value)
        : type_(sizeof(long) == 8 ? FormatArgumentType::Unsigned64 : FormatArgumentType::Unsigned32) {
        scalar_.unsignedValue = value;
    }
    FormatArgument(long long value) : type_(FormatArgumentType::Signed64) { scalar_.signedValue = value; }
    FormatArgument(unsigned long long value) : type_(FormatArgumentType::Unsigned64) { scalar_.unsignedValue = value; }
    FormatArgument(double value) : type_(FormatArgumentType::Double) { scalar_.doubleValue = value; }
    FormatArgument(char value) : type_(FormatArgumentType::Character) { scalar_.signedValue = value; }
    // Borrowed; null is allowed and prints "(null)".
    FormatArgument(const char* text) : type_(FormatArgumentType::Text), text_(text), textSize_(kUnknownSize) {}
    FormatArgument(const std::string& text)
        : type_(FormatArgumentType::Text), text_(text.c_str()), textSize_(text.size()), terminated_(true) {}
    FormatArgument(std::string_view text)
        : type_(FormatArgumentType::Text), text_(text.data()), textSize_(text.size()), terminated_(false) {}

    FormatArgumentType Type() const { return type_; }
    std::int64_t SignedValue() const { return scalar_.signedValue; }
    std::uint64_t UnsignedValue() const { return scalar_.unsignedValue; }
    double DoubleValue() const { return scalar_.doubleValue; }
    // The text of a Text argument: data and size (size is computed for a C string).
    std::string_view TextValue() const;
    // True when TextValue().data() is followed by a NUL (a C string or std::string).
    bool TextIsTerminated() const { return terminated_ || textSize_ == kUnknownSize; }

private:
    static constexpr std::size_t kUnknownSize = static_cast<std::size_t>(-1);

    FormatArgumentType type_;
    union {
        std::int64_t signedValue;
        std::uint64_t unsignedValue;
        double doubleValue;
    } scalar_{};
    const char* text_ = nullptr;
    std::size_t textSize_ = 0;
    bool terminated_ = true;
};

// The syntax of one specifier (flags* width? ("." precision)? length? conversion),
// read by one scanner for the formatter and for the named templates, which
// copy specs through and must know where each ends.
struct PrintfFieldSyntax {
    enum class Form : std::uint8_t { None, Number, Star, StarIndexed };
    Form form = Form::None;
    std::size_t number = 0;  // Number: its value; StarIndexed: M of "*M$". Saturates near 10^10.
};
struct PrintfSpecSyntax {
    std::string_view flags;  // as written, repeats included
    PrintfFieldSyntax width;
    bool hasPrecision = false;
    PrintfFieldSyntax precision;
    std::string_view length;  // "", or one of the length modifiers
    char conversion = '\0';   // '\0' when the text ended first
    std::size_t size = 0;     // characters the specifier takes from `pos` on
};
// Reads the specifier starting at `text[pos]` (just after "%" or "%N$"). Never fails:
// whatever follows the specifier is left to the caller.
[[nodiscard]] PrintfSpecSyntax ScanPrintfSpec(std::string_view text, std::size_t pos);

// Formats into `out` (`size` bytes) and returns the number of characters written,
// not counting the NUL. The output is NUL-terminated whenever size > 0, so the
// result is at most size - 1; with size 0 nothing is written. `args` holds `count`
// arguments, borrowed for the call.
std::size_t FormatPositionalTo(char* out, std::size_t size, std::string_view format, const FormatArgument* args,
                               std::size_t count);

// Formats into a 4096-byte buffer, so the message is at most 4095 characters long.
[[nodiscard]] std::string FormatPositionalArgs(std::string_view format, const FormatArgument* args, std::size_t count);

template <class... A>
[[nodiscard]] std::string FormatPositional(std::string_view format, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        return FormatPositionalArgs(format, nullptr, 0);
    } else {
        const FormatArgument list[] = {FormatArgument(args)...};
        return FormatPositionalArgs(format, list, sizeof...(A));
    }
}

}  // namespace hpk
