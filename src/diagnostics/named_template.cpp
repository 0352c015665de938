// Expansion of named-placeholder templates into a positional format and details.
#include "diagnostics/named_template.h"

#include <cstdio>
#include <cstring>

namespace hpk {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the printf specifier starting at `pos` (a "%"), read as the formatter
// reads a sequential specifier.
std::size_t SpecLength(std::string_view text, std::size_t pos) { return 1 + ScanPrintfSpec(text, pos + 1).size; }

// The long form that says the same as "%h" without the formatter's short-form
// reading, needed when a digit or "$" follows in the template text.
const char* DefaultSpec(NamedValueKind kind) {
    switch (kind) {
        case NamedValueKind::Bool: return "d";
        case NamedValueKind::Signed: return "lld";
        case NamedValueKind::Unsigned: return "llu";
        case NamedValueKind::Double: return "g";
        case NamedValueKind::String: break;
    }
    return "s";
}

bool HasTypeSuffix(const std::string& name) {
    static constexpr const char* kSuffixes[] = {"_bool", "_int", "_long", "_float", "_str", "_time", "_ip"};
    const std::size_t underscore = name.rfind('_');
    if (underscore == std::string::npos) return false;
    const std::string_view tail = std::string_view(name).substr(underscore);
    for (const char* suffix : kSuffixes) {
        if (tail == suffix) return true;
    }
    return false;
}

const char* TypeSuffix(NamedValueKind kind) {
    switch (kind) {
        case NamedValueKind::Bool: return "_bool";
        case NamedValueKind::Signed:
        case NamedValueKind::Unsigned: return "_int";
        case NamedValueKind::Double: return "_float";
        case NamedValueKind::String: break;
    }
    return "_str";
}

NamedValue ToText(const NamedValue& value) {
    char buffer[512];  // "%f" of the largest double needs 316 characters
    switch (value.Kind()) {
        case NamedValueKind::Bool: return NamedValue(value.AsBool() ? "true" : "false");
        case NamedValueKind::Signed:
            std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value.AsSigned()));
            return NamedValue(buffer);
        case NamedValueKind::Unsigned:
            std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(value.AsUnsigned()));
            return NamedValue(buffer);
        case NamedValueKind::Double:
            std::snprintf(buffer, sizeof buffer, "%f", value.AsDouble());
            return NamedValue(buffer);
        case NamedValueKind::String: break;
    }
    return value;
}

void Record(std::vector<NamedDetail>& details, const std::string& name, const NamedValue& value) {
    for (NamedDetail& detail : details) {
        if (detail.name == name) {
            detail.value = value;
            return;
        }
    }
    details.push_back({name, value});
}

struct Placeholder {
    std::string name;
    std::string format;
    std::string alternative;
    std::string conversion;
    bool typeSuffix = false;
    bool recordOnly = false;
    bool hasFormat = false;
    bool hasAlternative = false;
    bool hasConversion = false;
};

void TrimTrailingSpace(std::string& text) {
    while (!text.empty() && std::strchr(" \t\r\n\v\f", text.back()) != nullptr) text.pop_back();
}

// Writes placeholder `h` (1-based) into the expansion. `nextChar` is the template
// character after the closing brace, '\0' at the end.
void Close(ExpandedTemplate& out, Placeholder& placeholder, std::size_t h, char nextChar) {
    NamedValue& value = out.arguments[h - 1];
    if (placeholder.conversion == "str") {
        value = ToText(value);
    } else if (placeholder.conversion == "hex" &&
               (value.Kind() == NamedValueKind::Signed || value.Kind() == NamedValueKind::Unsigned)) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%016llX", static_cast<unsigned long long>(value.AsUnsigned()));
        value = NamedValue(buffer);
        placeholder.format = "016llX";
        placeholder.hasFormat = true;
    }
    if (placeholder.typeSuffix && !HasTypeSuffix(placeholder.name)) placeholder.name += TypeSuffix(value.Kind());
    if (placeholder.hasAlternative && value.IsEmptyOrZero()) {
        out.format += placeholder.alternative;
        return;
    }
    if (!placeholder.name.empty()) Record(out.details, placeholder.name, value);
    if (placeholder.recordOnly) {
        TrimTrailingSpace(out.format);
        return;
    }
    out.format += '%';
    out.format += std::to_string(h);
    // An empty format after ":" would leave "%h$" to swallow the text that follows.
    if (placeholder.hasFormat && !placeholder.format.empty()) {
        out.format += '$';
        out.format += placeholder.format;
    } else if (IsDigit(nextChar) || nextChar == '$') {
        out.format += '$';
        out.format += DefaultSpec(value.Kind());
    }
}

}  // namespace

NamedValue NamedValue::Bool(bool value) {
    NamedValue v;
    v.kind_ = NamedValueKind::Bool;
    v.scalar_.boolean = value;
    return v;
}

NamedValue NamedValue::Signed(std::int64_t value) {
    NamedValue v;
    v.kind_ = NamedValueKind::Signed;
    v.scalar_.signedValue = value;
    return v;
}

NamedValue NamedValue::Unsigned(std::uint64_t value) {
    NamedValue v;
    v.kind_ = NamedValueKind::Unsigned;
    v.scalar_.unsignedValue = value;
    return v;
}

NamedValue NamedValue::Double(double value) {
    NamedValue v;
    v.kind_ = NamedValueKind::Double;
    v.scalar_.doubleValue = value;
    return v;
}

bool NamedValue::IsEmptyOrZero() const {
    switch (kind_) {
        case NamedValueKind::Bool: return !scalar_.boolean;
        case NamedValueKind::Signed: return scalar_.signedValue == 0;
        case NamedValueKind::Unsigned: return scalar_.unsignedValue == 0;
        case NamedValueKind::Double: return scalar_.doubleValue == 0.0;
        case NamedValueKind::String: break;
    }
    return string_.empty();
}

FormatArgument NamedValue::AsFormatArgument() const {
    switch (kind_) {
        case NamedValueKind::Bool: return FormatArgument(scalar_.boolean ? 1 : 0);
        case NamedValueKind::Signed: return FormatArgument(static_cast<long long>(scalar_.signedValue));
        case NamedValueKind::Unsigned: return FormatArgument(static_cast<unsigned long long>(scalar_.unsignedValue));
        case NamedValueKind::Double: return FormatArgument(scalar_.doubleValue);
        case NamedValueKind::String: break;
    }
    return FormatArgument(string_);
}

bool operator==(const NamedValue& a, const NamedValue& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case NamedValueKind::Bool: return a.scalar_.boolean == b.scalar_.boolean;
        case NamedValueKind::Signed: return a.scalar_.signedValue == b.scalar_.signedValue;
        case NamedValueKind::Unsigned: return a.scalar_.unsignedValue == b.scalar_.unsignedValue;
        case NamedValueKind::Double: return a.scalar_.doubleValue == b.scalar_.doubleValue;
        case NamedValueKind::String: break;
    }
    return a.string_ == b.string_;
}

ExpandedTemplate ExpandNamedTemplate(std::string_view templateText, const NamedValue* values, std::size_t count) {
    ExpandedTemplate out;
    if (values == nullptr) count = 0;
    out.arguments.assign(values, values + count);
    out.format.reserve(templateText.size() + 8);

    std::size_t h = 1;
    bool inside = false;
    Placeholder placeholder;
    const std::size_t size = templateText.size();
    for (std::size_t i = 0; i < size; ++i) {
        const char c = templateText[i];
        const char next = i + 1 < size ? templateText[i + 1] : '\0';
        if (!inside) {
            if (c == '{' && next == '{') {
                out.format += '{';
                ++i;
            } else if (c == '}') {
                out.format += '}';
                if (next == '}') ++i;
            } else if (c == '%' && next == '%') {
                out.format += "%%";
                ++i;
            } else if (c == '%') {
                const std::size_t length = SpecLength(templateText, i);
                out.format.append(templateText.substr(i, length));
                i += length - 1;
                ++h;
            } else if (c == '{') {
                inside = true;
                placeholder = Placeholder{};
                if (next == '#') {
                    placeholder.typeSuffix = true;
                    ++i;
                }
            } else {
                out.format += c;
            }
            continue;
        }
        switch (c) {
            case '!': placeholder.recordOnly = true; break;
            case ':': placeholder.hasFormat = true; break;
            case '?': placeholder.hasAlternative = true; break;
            case '@': placeholder.hasConversion = true; break;
            case '{': break;
            case '}':
                if (h <= count) Close(out, placeholder, h, next);
                ++h;
                inside = false;
                break;
            default: {
                char literal = c;
                if (c == '\\') {
                    if (i + 1 >= size) break;
                    literal = templateText[++i];
                }
                if (placeholder.hasFormat)
                    placeholder.format += literal;
                else if (placeholder.hasConversion)
                    placeholder.conversion += literal;
                else if (placeholder.hasAlternative)
                    placeholder.alternative += literal;
                else
                    placeholder.name += literal;
            }
        }
    }
    return out;
}

NamedMessage FormatNamedTemplate(std::string_view templateText, const NamedValue* values, std::size_t count) {
    ExpandedTemplate expanded = ExpandNamedTemplate(templateText, values, count);
    std::vector<FormatArgument> arguments;
    arguments.reserve(expanded.arguments.size());
    for (const NamedValue& value : expanded.arguments) arguments.push_back(value.AsFormatArgument());
    NamedMessage message;
    message.message = FormatPositionalArgs(expanded.format, arguments.data(), arguments.size());
    message.details = std::move(expanded.details);
    return message;
}

const NamedValue* FindDetail(const std::vector<NamedDetail>& details, std::string_view name) {
    for (const NamedDetail& detail : details) {
        if (detail.name == name) return &detail.value;
    }
    return nullptr;
}

}  // namespace hpk
