// Laying out JSON text; the text itself comes from ValueToJson.
#include "text/json_text.h"

#include "text/value_printer.h"

namespace hpk::host {

std::string JsonText(const BindingValue& value, JsonLayout layout) {
    std::string compact = ValueToJson(value);
    return layout == JsonLayout::Pretty ? IndentJson(compact) : compact;
}

std::string IndentJson(std::string_view compact) {
    std::string out;
    out.reserve(compact.size() * 2);
    std::size_t depth = 0;
    auto newline = [&] {
        out.push_back('\n');
        out.append(depth * 2, ' ');
    };
    for (std::size_t i = 0; i < compact.size(); ++i) {
        const char c = compact[i];
        switch (c) {
            case '"': {
                // Copy the whole string, escapes included.
                std::size_t end = i + 1;
                while (end < compact.size() && compact[end] != '"') end += compact[end] == '\\' ? 2 : 1;
                out.append(compact.substr(i, end + 1 - i));
                i = end;
                break;
            }
            case '{':
            case '[': {
                const char close = c == '{' ? '}' : ']';
                if (i + 1 < compact.size() && compact[i + 1] == close) {
                    out.push_back(c);
                    out.push_back(close);
                    ++i;
                    break;
                }
                out.push_back(c);
                ++depth;
                newline();
                break;
            }
            case '}':
            case ']':
                --depth;
                newline();
                out.push_back(c);
                break;
            case ',':
                out.push_back(',');
                newline();
                break;
            case ':': out += ": "; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::string JsonQuote(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

}  // namespace hpk::host
