// YAML text of scenario documents.
#include "explore/scenario_yaml.h"

#include <cmath>
#include <cstdio>

namespace hpk::host {

namespace {

void Quote(std::string& out, std::string_view text) {
    out.push_back('"');
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04X", c);
            out += escape;
        } else {
            out.push_back(static_cast<char>(c));  // UTF-8 stays as it is
        }
    }
    out.push_back('"');
}

void Flow(std::string& out, const BindingValue& value) {
    switch (value.Kind()) {
        case BindingValueKind::Empty: out += "null"; return;
        case BindingValueKind::Bool: out += value.AsBool() ? "true" : "false"; return;
        case BindingValueKind::Signed: out += std::to_string(value.AsSigned()); return;
        case BindingValueKind::Unsigned: out += std::to_string(value.AsUnsigned()); return;
        case BindingValueKind::Float: {
            const double number = value.AsFloat();
            if (std::isnan(number)) {
                out += ".nan";
            } else if (std::isinf(number)) {
                out += number < 0 ? "-.inf" : ".inf";
            } else {
                char text[40];
                std::snprintf(text, sizeof(text), "%.17g", number);
                out += text;
                if (out.find_first_of(".eE", out.size() - std::char_traits<char>::length(text)) == std::string::npos)
                    out += ".0";
            }
            return;
        }
        case BindingValueKind::String: Quote(out, value.AsString()); return;
        case BindingValueKind::Collection: {
            out.push_back('[');
            for (std::size_t i = 0; i < value.Size(); ++i) {
                if (i != 0) out += ", ";
                Flow(out, value.Element(i));
            }
            out.push_back(']');
            return;
        }
        case BindingValueKind::Structure: {
            out.push_back('{');
            bool first = true;
            value.ForEachMember([&](std::string_view key, const BindingValue& member) {
                if (!first) out += ", ";
                first = false;
                Quote(out, key);
                out += ": ";
                Flow(out, member);
            });
            out.push_back('}');
            return;
        }
        default: out += value.Text().empty() ? "null" : "\"" + value.Text() + "\""; return;
    }
}

}  // namespace

std::string YamlFlow(const BindingValue& value) {
    std::string out;
    Flow(out, value);
    return out;
}

std::string ScenarioYaml(const BindingValue& document) {
    std::string out;
    document.ForEachMember([&](std::string_view key, const BindingValue& member) {
        if (key == "resources" || key == "steps") return;
        out += std::string(key) + ": ";
        Flow(out, member);
        out += "\n";
    });
    const BindingValue& resources = document.Member("resources");
    if (resources.Kind() == BindingValueKind::Structure && resources.Size() != 0) {
        out += "resources:\n";
        resources.ForEachMember([&](std::string_view uri, const BindingValue& answer) {
            out += "  ";
            Quote(out, uri);
            out += ": ";
            Flow(out, answer);
            out += "\n";
        });
    }
    const BindingValue& steps = document.Member("steps");
    out += "steps:";
    if (steps.Size() == 0) out += " []";
    out += "\n";
    for (std::size_t i = 0; i < steps.Size(); ++i) {
        out += "  - ";
        Flow(out, steps.Element(i));
        out += "\n";
    }
    return out;
}

}  // namespace hpk::host
