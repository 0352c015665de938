// Url text functions: percent coding, template normalisation, operation names.
#include "router/url_text.h"

#include "diagnostics/text_util.h"
#include "router/request_method.h"

namespace hpk {
namespace {

// A character that is not a hex digit counts as 16, which a malformed escape
// then folds into the byte instead of failing.
unsigned HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return 16;
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// The one reading of percent escapes: hands each decoded byte to `emit`.
template <class Emit>
void ForEachDecodedByte(std::string_view text, Emit&& emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            emit(' ');
        } else if (c == '%') {
            if (text.size() - i > 2) {
                const unsigned byte = ((HexValue(text[i + 1]) << 4) & 0xFFu) | HexValue(text[i + 2]);
                emit(static_cast<char>(byte & 0xFFu));
                i += 2;
            }
            // A short escape at the end loses only its "%": the rest is copied by the loop.
        } else {
            emit(c);
        }
    }
}

}  // namespace

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachDecodedByte(text, [&out](char c) { out.push_back(c); });
    return out;
}

std::size_t PercentDecodedSize(std::string_view text) {
    std::size_t size = 0;
    ForEachDecodedByte(text, [&size](char) { ++size; });
    return size;
}

std::string PercentEncode(std::string_view text, bool encodeSlash) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte) || (c == '/' && !encodeSlash)) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

std::string NormaliseTemplate(std::string_view pathTemplate) {
    if (pathTemplate.size() > 1 && pathTemplate.back() == '/') pathTemplate.remove_suffix(1);
    return std::string(pathTemplate);
}

std::string OperationName(std::uint32_t method, std::string_view path) {
    std::string text;
    const std::string_view name = MethodName(method);
    if (!name.empty()) {
        text.push_back(name[0]);
        for (const char c : name.substr(1)) text.push_back(LowerAscii(c));
        text.push_back('/');
    }
    text.append(path);

    std::string out;
    out.reserve(text.size() + 8);
    bool capitalise = true;
    for (const char c : text) {
        switch (c) {
            case '!':
            case '+':
            case '-':
            case '.':
            case '/':
            case '_': capitalise = true; break;
            case '{':
                out += "By";
                capitalise = true;
                break;
            case '}': break;
            default: out.push_back(capitalise ? UpperAscii(c) : c); capitalise = false;
        }
    }
    return out;
}

}  // namespace hpk
