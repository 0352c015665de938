// A compact text of a small BindingValue tree for test expectations:
// - empty, true/false, u5 unsigned, i-5 signed, f1.5 float, "text", [a,b],
// {key:value,...} in key order. Recursive: for the small trees of tests only.
#pragma once
#include <sstream>
#include <string>

#include "binding/binding_value.h"

namespace hpk {

inline std::string ValueText(const BindingValue& value) {
    std::ostringstream out;
    switch (value.Kind()) {
        case BindingValueKind::Empty: out << "-"; break;
        case BindingValueKind::Bool: out << (value.AsBool() ? "true" : "false"); break;
        case BindingValueKind::Signed: out << "i" << value.AsSigned(); break;
        case BindingValueKind::Unsigned: out << "u" << value.AsUnsigned(); break;
        case BindingValueKind::Float: out << "f" << value.AsFloat(); break;
        case BindingValueKind::String: out << '"' << value.AsString() << '"'; break;
        case BindingValueKind::Collection: {
            out << "[";
            for (std::size_t i = 0; i < value.Size(); ++i) out << (i ? "," : "") << ValueText(value.Element(i));
            out << "]";
            break;
        }
        case BindingValueKind::Structure: {
            out << "{";
            bool first = true;
            value.ForEachMember([&](std::string_view key, const BindingValue& member) {
                out << (first ? "" : ",") << key << ":" << ValueText(member);
                first = false;
            });
            out << "}";
            break;
        }
        default: out << "?" << value.Text(); break;
    }
    return out.str();
}

}  // namespace hpk
