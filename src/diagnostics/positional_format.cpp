// The positional formatter: one tokenizer for "%N", "%N$specifier" and "%specifier"
// directives, each directive rendered by the C runtime's snprintf with a specifier
// rebuilt to match the argument's real type.
#include "diagnostics/positional_format.h"

#include <cstdio>
#include <cstring>

namespace hpk {
namespace {

constexpr std::size_t kMaxSpecLength = 59;
constexpr int kMaxField = 8192;
constexpr std::size_t kMessageBufferSize = 4096;

struct TypeEntry {
    const char* allowed;  // the first is the default conversion
    const char* lengthPrefix;
    bool usableAsInteger;  // may serve a "*" width or precision
};

const TypeEntry& EntryFor(FormatArgumentType type) {
    static constexpr TypeEntry kEntries[] = {
        {"dciouxX", "", true},     // Signed32
        {"ucdioxX", "", true},     // Unsigned32
        {"dciouxX", "ll", false},  // Signed64
        {"ucdioxX", "ll", false},  // Unsigned64
        {"gaefGAEF", "", false},   // Double
        {"cdiouxX", "", true},     // Character
        {"s", "", false},          // Text
    };
    return kEntries[static_cast<std::size_t>(type)];
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits at `pos` and moves past it, saturating well above any
// field cap or argument count.
std::size_t ScanNumber(std::string_view text, std::size_t& pos) {
    std::size_t number = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (number < 1000000000u) number = number * 10 + static_cast<std::size_t>(text[pos] - '0');
        ++pos;
    }
    return number;
}

PrintfFieldSyntax ScanField(std::string_view text, std::size_t& pos) {
    PrintfFieldSyntax field;
    if (pos < text.size() && text[pos] == '*') {
        ++pos;
        field.form = PrintfFieldSyntax::Form::Star;
        if (pos < text.size() && text[pos] >= '1' && text[pos] <= '9') {
            std::size_t end = pos;
            const std::size_t index = ScanNumber(text, end);
            // Not "*M$": the digits belong to what follows.
            if (end < text.size() && text[end] == '$') {
                field.form = PrintfFieldSyntax::Form::StarIndexed;
                field.number = index;
                pos = end + 1;
            }
        }
    } else if (pos < text.size() && IsDigit(text[pos])) {
        field.form = PrintfFieldSyntax::Form::Number;
        field.number = ScanNumber(text, pos);
    }
    return field;
}

// A field (width or precision) as written in the directive.
struct Field {
    bool present = false;
    int value = 0;  // already resolved for "*" forms; may be negative from an argument
};

// A parsed specifier, ready to be rebuilt for the argument.
struct Spec {
    char flags[8] = {};  // each flag at most once is enough for printf
    std::size_t flagCount = 0;
    Field width;
    Field precision;
    char length[3] = {};     // the modifier as written
    char conversion = '\0';  // '\0' when the format ended first
};

class Formatter {
public:
    Formatter(char* out, std::size_t size, std::string_view format, const FormatArgument* args, std::size_t count)
        : out_(out), capacity_(size - 1), format_(format), args_(args), count_(count) {}

    std::size_t Run();

private:
    bool Put(char c);
    bool Directive();
    // Reads a run of digits at pos_, saturating well above any field cap.
    std::size_t ReadNumber();
    bool ParseSpec(std::size_t directiveStart, Spec& spec);
    bool ResolveField(const PrintfFieldSyntax& syntax, Field& field);
    bool Write(const Spec& spec, const FormatArgument& arg);
    bool WriteFormatted(const char* printfSpec, const FormatArgument& arg, char asInt);

    char* out_;
    std::size_t capacity_;  // characters, the NUL not counted
    std::size_t length_ = 0;
    std::string_view format_;
    std::size_t pos_ = 0;
    const FormatArgument* args_;
    std::size_t count_;
    std::size_t sequence_ = 1;
};

std::size_t Formatter::Run() {
    while (pos_ < format_.size() && length_ < capacity_) {
        const char c = format_[pos_];
        if (c != '%') {
            Put(c);
            ++pos_;
            continue;
        }
        if (!Directive()) break;
    }
    out_[length_] = '\0';
    return length_;
}

bool Formatter::Put(char c) {
    if (length_ >= capacity_) return false;
    out_[length_++] = c;
    return true;
}

std::size_t Formatter::ReadNumber() { return ScanNumber(format_, pos_); }

// Handles the directive at pos_ (a "%"). Returns false when formatting stops.
bool Formatter::Directive() {
    const std::size_t start = pos_;
    ++pos_;
    if (pos_ < format_.size() && format_[pos_] == '%') {
        ++pos_;
        return Put('%');
    }
    if (pos_ < format_.size() && format_[pos_] >= '1' && format_[pos_] <= '9') {
        const std::size_t numberStart = pos_;
        const std::size_t index = ReadNumber();
        const bool longForm = pos_ < format_.size() && format_[pos_] == '$';
        if (longForm && index > count_) return false;  // "%N$" names an argument we do not have
        if (index <= count_) {
            const FormatArgument& arg = args_[index - 1];
            Spec spec;
            if (longForm) {
                ++pos_;
                if (!ParseSpec(start, spec)) return false;
            } else {
                spec.conversion = EntryFor(arg.Type()).allowed[0];
                std::memcpy(spec.length, EntryFor(arg.Type()).lengthPrefix,
                            std::strlen(EntryFor(arg.Type()).lengthPrefix));
            }
            return Write(spec, arg);
        }
        // Above the count: the number is a width of a sequential directive.
        pos_ = numberStart;
    }
    Spec spec;
    if (!ParseSpec(start, spec)) return false;
    if (sequence_ > count_) return false;
    return Write(spec, args_[sequence_++ - 1]);
}

bool Formatter::ResolveField(const PrintfFieldSyntax& syntax, Field& field) {
    using Form = PrintfFieldSyntax::Form;
    if (syntax.form == Form::None) return true;
    field.present = true;
    if (syntax.form == Form::Number) {
        field.value = syntax.number > static_cast<std::size_t>(kMaxField) ? kMaxField : static_cast<int>(syntax.number);
        return true;
    }
    const std::size_t index = syntax.form == Form::StarIndexed ? syntax.number : sequence_++;
    if (index > count_) return false;
    const FormatArgument& arg = args_[index - 1];
    if (!EntryFor(arg.Type()).usableAsInteger) return false;
    const std::int64_t value = arg.Type() == FormatArgumentType::Unsigned32
                                   ? static_cast<std::int64_t>(arg.UnsignedValue())
                                   : arg.SignedValue();
    field.value = value > kMaxField ? kMaxField : value < -kMaxField ? -kMaxField : static_cast<int>(value);
    return true;
}

// Reads the specifier at pos_ and resolves its "*" fields, width first. Returns
// false when formatting must stop.
bool Formatter::ParseSpec(std::size_t directiveStart, Spec& spec) {
    const PrintfSpecSyntax syntax = ScanPrintfSpec(format_, pos_);
    for (const char flag : syntax.flags) {
        if (std::memchr(spec.flags, flag, spec.flagCount) == nullptr && spec.flagCount < 5) {
            spec.flags[spec.flagCount++] = flag;
        }
    }
    if (!ResolveField(syntax.width, spec.width)) return false;
    if (syntax.hasPrecision) {
        spec.precision.present = true;
        if (!ResolveField(syntax.precision, spec.precision)) return false;
    }
    // (an absent length is an empty view whose data may be null)
    if (!syntax.length.empty()) std::memcpy(spec.length, syntax.length.data(), syntax.length.size());
    spec.conversion = syntax.conversion;
    pos_ += syntax.size;
    return pos_ - directiveStart <= kMaxSpecLength;
}

bool Formatter::Write(const Spec& spec, const FormatArgument& arg) {
    const TypeEntry& entry = EntryFor(arg.Type());
    char conversion = spec.conversion;
    if (conversion == '\0' || std::strchr(entry.allowed, conversion) == nullptr) conversion = entry.allowed[0];

    // Rebuild the directive: at most 1 + 5 flags + 2 fields of 6 + 2 length + 1 + NUL.
    char printfSpec[32];
    std::size_t n = 0;
    printfSpec[n++] = '%';
    // Only flags the conversion defines are passed on: "0" or "#" on a text is
    // undefined in C and the runtimes disagree on it.
    const bool textLike = arg.Type() == FormatArgumentType::Text || conversion == 'c';
    for (std::size_t i = 0; i < spec.flagCount; ++i) {
        const char flag = spec.flags[i];
        if (textLike && flag != '-') continue;
        if (flag == '#' && std::strchr("oxXaAeEfFgG", conversion) == nullptr) continue;
        printfSpec[n++] = flag;
    }
    int width = spec.width.value;
    if (spec.width.present && width < 0) {  // printf reads a negative "*" width as "-"
        if (std::memchr(spec.flags, '-', spec.flagCount) == nullptr) printfSpec[n++] = '-';
        width = -width;
    }
    if (spec.width.present) n += static_cast<std::size_t>(std::snprintf(printfSpec + n, 8, "%d", width));
    if (spec.precision.present && spec.precision.value >= 0) {
        n += static_cast<std::size_t>(std::snprintf(printfSpec + n, 9, ".%d", spec.precision.value));
    }
    const bool integer = arg.Type() != FormatArgumentType::Double && arg.Type() != FormatArgumentType::Text;
    const bool narrowed = integer && conversion != 'c' && spec.length[0] == 'h';
    if (narrowed) {
        for (const char* l = spec.length; *l != '\0'; ++l) printfSpec[n++] = *l;
    } else if (integer && conversion != 'c') {
        for (const char* l = entry.lengthPrefix; *l != '\0'; ++l) printfSpec[n++] = *l;
    }
    printfSpec[n++] = conversion;
    printfSpec[n] = '\0';
    return WriteFormatted(printfSpec, arg, narrowed || conversion == 'c' ? 'i' : '\0');
}

// `asInt` is 'i' when the value must travel as an int (narrowed or a character
// conversion), whatever its own width.
bool Formatter::WriteFormatted(const char* printfSpec, const FormatArgument& arg, char asInt) {
    char* target = out_ + length_;
    const std::size_t room = capacity_ - length_ + 1;
    int written = -1;
    if (asInt == 'i') {
        written = std::snprintf(target, room, printfSpec, static_cast<int>(arg.SignedValue()));
    } else {
        switch (arg.Type()) {
            case FormatArgumentType::Signed32:
            case FormatArgumentType::Character:
                written = std::snprintf(target, room, printfSpec, static_cast<int>(arg.SignedValue()));
                break;
            case FormatArgumentType::Unsigned32:
                written = std::snprintf(target, room, printfSpec, static_cast<unsigned>(arg.UnsignedValue()));
                break;
            case FormatArgumentType::Signed64:
                written = std::snprintf(target, room, printfSpec, static_cast<long long>(arg.SignedValue()));
                break;
            case FormatArgumentType::Unsigned64:
                written = std::snprintf(target, room, printfSpec, static_cast<unsigned long long>(arg.UnsignedValue()));
                break;
            case FormatArgumentType::Double:
                written = std::snprintf(target, room, printfSpec, arg.DoubleValue());
                break;
            case FormatArgumentType::Text: {
                const std::string_view text = arg.TextValue();
                if (arg.TextIsTerminated()) {
                    written = std::snprintf(target, room, printfSpec, text.data() != nullptr ? text.data() : "(null)");
                } else {
                    const std::string copy(text);  // a view is not NUL-terminated
                    written = std::snprintf(target, room, printfSpec, copy.c_str());
                }
                break;
            }
        }
    }
    if (written < 0) {
        target[0] = '\0';
        return false;
    }
    if (static_cast<std::size_t>(written) >= room) {
        length_ = capacity_;  // a truncated write fills the remaining space
        return false;
    }
    length_ += static_cast<std::size_t>(written);
    return true;
}

}  // namespace

std::string_view FormatArgument::TextValue() const {
    if (text_ == nullptr) return {};
    if (textSize_ == kUnknownSize) return std::string_view(text_);
    return std::string_view(text_, textSize_);
}

PrintfSpecSyntax ScanPrintfSpec(std::string_view text, std::size_t pos) {
    PrintfSpecSyntax spec;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] != '\0' && std::strchr("-+ #0", text[pos]) != nullptr) ++pos;
    spec.flags = text.substr(start, pos - start);
    spec.width = ScanField(text, pos);
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        spec.hasPrecision = true;
        spec.precision = ScanField(text, pos);
    }
    if (pos < text.size()) {
        const char c = text[pos];
        const char next = pos + 1 < text.size() ? text[pos + 1] : '\0';
        const std::size_t lengthSize = (c == 'h' || c == 'l') && next == c                ? 2
                                       : c != '\0' && std::strchr("Ljtzhl", c) != nullptr ? 1
                                                                                          : 0;
        spec.length = text.substr(pos, lengthSize);
        pos += lengthSize;
    }
    if (pos < text.size()) spec.conversion = text[pos++];
    spec.size = pos - start;
    return spec;
}

std::size_t FormatPositionalTo(char* out, std::size_t size, std::string_view format, const FormatArgument* args,
                               std::size_t count) {
    if (out == nullptr || size == 0) return 0;
    if (args == nullptr) count = 0;
    return Formatter(out, size, format, args, count).Run();
}

std::string FormatPositionalArgs(std::string_view format, const FormatArgument* args, std::size_t count) {
    char buffer[kMessageBufferSize];
    const std::size_t length = FormatPositionalTo(buffer, sizeof buffer, format, args, count);
    return std::string(buffer, length);
}

}  // namespace hpk
