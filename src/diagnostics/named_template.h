// Named-placeholder templates ("Error response for {method} {url}: {error}"):
// a template and a short list of typed values become a positional format for
// the formatter plus the details recorded under each placeholder's name.
//
// Template grammar, outside a placeholder:
//   "{{"  a literal "{"          "}}" or a lone "}"   a literal "}"
//   "%%"  stays "%%" for the formatter
//   "%"   specifier  a printf specifier (as the formatter reads "%" specifier), copied unchanged;
//               it uses up one placeholder number
//   "{" body "}"   a placeholder; "{#" body "}" also appends a type suffix to its name
// Inside a body: "!" record only (no text; trailing white space before it is
// dropped), ":" starts the format, "?" the alternative text, "@" the conversion
// ("str" or "hex"), "\" takes the next character literally, a further "{" is
// ignored; other characters go to the format after ":", else the conversion
// after "@", else the alternative after "?", else the name.
// Placeholders are numbered h = 1, 2, ... in order of appearance and placeholder h
// takes value h; one without a value produces nothing. A placeholder writes
// "%h", or "%h$format" when it has a format, and its value is recorded under its
// name (a later placeholder with the same name replaces the value). With "?" a
// false, zero or empty value writes the alternative text and records nothing.
// "@str" turns the value into its text; "@hex" turns an integer into
// "%016llX" text and formats it as "016llX".
//
// Example: "Error response for {method} {url}: {error}" with "GET", "/a", "boom"
// gives the format "Error response for %1 %2: %3", details method, url and error,
// and the message "Error response for GET /a: boom".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/positional_format.h"

namespace hpk {

enum class NamedValueKind : std::uint8_t {
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Double = 4,
    String = 5,
};

// One typed value for a template. Texts convert implicitly; the other kinds are
// built through the factories, so an integer never silently becomes a bool.
class NamedValue {
public:
    NamedValue() = default;
    NamedValue(std::string text) : kind_(NamedValueKind::String), string_(std::move(text)) {}
    NamedValue(std::string_view text) : kind_(NamedValueKind::String), string_(text) {}
    NamedValue(const char* text) : kind_(NamedValueKind::String), string_(text != nullptr ? text : "") {}

    static NamedValue Bool(bool value);
    static NamedValue Signed(std::int64_t value);
    static NamedValue Unsigned(std::uint64_t value);
    static NamedValue Double(double value);

    NamedValueKind Kind() const { return kind_; }
    bool AsBool() const { return scalar_.boolean; }
    std::int64_t AsSigned() const { return scalar_.signedValue; }
    std::uint64_t AsUnsigned() const { return scalar_.unsignedValue; }
    double AsDouble() const { return scalar_.doubleValue; }
    const std::string& AsString() const { return string_; }

    // False, zero (of any numeric kind) or an empty text.
    bool IsEmptyOrZero() const;
    // The formatter's view of the value; a bool formats as the integer 0 or 1.
    // Borrows the text: valid while this value lives unchanged.
    FormatArgument AsFormatArgument() const;

    friend bool operator==(const NamedValue& a, const NamedValue& b);
    friend bool operator!=(const NamedValue& a, const NamedValue& b) { return !(a == b); }

private:
    NamedValueKind kind_ = NamedValueKind::String;
    union {
        bool boolean;
        std::int64_t signedValue;
        std::uint64_t unsignedValue;
        double doubleValue;
    } scalar_{};
    std::string string_;
};

// A value recorded under a placeholder's name, in order of first appearance.
struct NamedDetail {
    std::string name;
    NamedValue value;
};

struct ExpandedTemplate {
    std::string format;                 // positional format for the formatter
    std::vector<NamedValue> arguments;  // the values after "@str"/"@hex", one per given value
    std::vector<NamedDetail> details;
};

// Expands `templateText` with `count` values (borrowed for the call; `values`
// may be null when count is 0). Never fails: a malformed placeholder writes
// nothing, and one left open at the end of the template is dropped.
[[nodiscard]] ExpandedTemplate ExpandNamedTemplate(std::string_view templateText, const NamedValue* values,
                                                   std::size_t count);

struct NamedMessage {
    std::string message;  // at most 4095 characters, as every formatted message
    std::vector<NamedDetail> details;
};

// Expands the template and formats the result with the same values.
[[nodiscard]] NamedMessage FormatNamedTemplate(std::string_view templateText, const NamedValue* values,
                                               std::size_t count);
[[nodiscard]] inline NamedMessage FormatNamedTemplate(std::string_view templateText,
                                                      const std::vector<NamedValue>& values) {
    return FormatNamedTemplate(templateText, values.data(), values.size());
}

// The detail recorded under `name`, or null.
[[nodiscard]] const NamedValue* FindDetail(const std::vector<NamedDetail>& details, std::string_view name);

}  // namespace hpk
