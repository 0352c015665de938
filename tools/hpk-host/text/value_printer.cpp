// JSON and typed listings of value trees, written with one explicit stack of
// open containers.
#include "text/value_printer.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "diagnostics/text_util.h"

namespace hpk::host {
namespace {

// Where a node sits in its parent: none for the root, else its ordinal and,
// for a member, its key.
struct Label {
    bool root = true;
    std::size_t index = 0;
    bool isMember = false;
    std::string_view key;
};

// Walks the tree depth-first in the tree's order. The visitor gets
// Node(label, depth, value) for every node, before the children of a
// container, and Close(depth, value) after them; Node returns false to stop.
template <class Visitor>
bool Walk(const BindingValue& root, Visitor& visitor) {
    struct Member {
        std::string_view key;
        const BindingValue* value;
    };
    struct Frame {
        const BindingValue* container;
        std::size_t next;
        std::size_t count;
        std::size_t memberBase;  // first member of this structure in `members`
    };
    std::vector<Frame> frames;
    // The members of every open structure, innermost last: one growing list
    // instead of a list per level.
    std::vector<Member> members;

    auto enter = [&](const Label& label, const BindingValue& value) {
        if (!visitor.Node(label, frames.size(), value)) return false;
        const BindingValueKind kind = value.Kind();
        if (kind == BindingValueKind::Collection || kind == BindingValueKind::Structure) {
            Frame frame{&value, 0, value.Size(), members.size()};
            if (kind == BindingValueKind::Structure) {
                value.ForEachMember([&members](std::string_view key, const BindingValue& member) {
                    members.push_back(Member{key, &member});
                });
            }
            frames.push_back(frame);
        }
        return true;
    };

    if (!enter(Label{}, root)) return false;
    while (!frames.empty()) {
        Frame& top = frames.back();
        if (top.next == top.count) {
            const BindingValue& done = *top.container;
            members.resize(top.memberBase);
            frames.pop_back();
            visitor.Close(frames.size(), done);
            continue;
        }
        Label label;
        label.root = false;
        label.index = top.next++;
        const BindingValue* child;
        if (top.container->Kind() == BindingValueKind::Structure) {
            const Member& member = members[top.memberBase + label.index];
            label.isMember = true;
            label.key = member.key;
            child = member.value;
        } else {
            child = &top.container->Element(label.index);
        }
        if (!enter(label, *child)) return false;
    }
    return true;
}

void AppendUnsigned(std::string& out, std::uint64_t value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

void AppendSigned(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

// Shortest text that reads back to the same double.
void AppendShortest(std::string& out, double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

// Length of the valid UTF-8 sequence at `p`, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char lead = p[0];
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - p) < length) return 0;
    if (p[1] < low || p[1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    }
    return length;
}

class JsonVisitor {
public:
    explicit JsonVisitor(std::string& out) : out_(out) {}

    bool Node(const Label& label, std::size_t, const BindingValue& value) {
        if (!label.root && label.index != 0) out_ += ',';
        if (label.isMember) {
            AppendJsonString(out_, label.key);
            out_ += ':';
        }
        switch (value.Kind()) {
            case BindingValueKind::Bool: out_ += value.AsBool() ? "true" : "false"; break;
            case BindingValueKind::Signed: AppendSigned(out_, value.AsSigned()); break;
            case BindingValueKind::Unsigned: AppendUnsigned(out_, value.AsUnsigned()); break;
            case BindingValueKind::Float: AppendFloat(value.AsFloat()); break;
            case BindingValueKind::String: AppendJsonString(out_, value.AsString()); break;
            case BindingValueKind::Blob: AppendJsonString(out_, Base64Encode(value.BlobData(), value.Size())); break;
            case BindingValueKind::Enum: AppendSigned(out_, value.AsEnum().value); break;
            case BindingValueKind::Collection: out_ += '['; break;
            case BindingValueKind::Structure: out_ += '{'; break;
            default: out_ += "null"; break;
        }
        return true;
    }
    void Close(std::size_t, const BindingValue& value) {
        out_ += value.Kind() == BindingValueKind::Structure ? '}' : ']';
    }

private:
    void AppendFloat(double value) {
        if (std::isnan(value)) {
            out_ += "\"NaN\"";
        } else if (std::isinf(value)) {
            out_ += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
        } else {
            const std::size_t start = out_.size();
            AppendShortest(out_, value);
            // Keep it a float for a reader that tells integers apart.
            if (out_.find_first_of(".e", start) == std::string::npos) out_ += ".0";
        }
    }

    std::string& out_;
};

class TypedVisitor {
public:
    explicit TypedVisitor(std::string& out) : out_(out) {}

    bool Node(const Label& label, std::size_t depth, const BindingValue& value) {
        if (depth > kTypedPrintMaxDepth) return false;
        out_.append(depth * 2, ' ');
        if (label.isMember) {
            AppendQuoted(out_, label.key, InvalidUtf8::AsBytes);
            out_ += ": ";
        } else if (!label.root) {
            out_ += '[';
            AppendUnsigned(out_, label.index);
            out_ += "] ";
        }
        out_ += KindText(value.Kind());
        switch (value.Kind()) {
            case BindingValueKind::Empty: break;
            case BindingValueKind::Bool: out_ += value.AsBool() ? " true" : " false"; break;
            case BindingValueKind::Signed:
                out_ += ' ';
                AppendSigned(out_, value.AsSigned());
                break;
            case BindingValueKind::Unsigned:
                out_ += ' ';
                AppendUnsigned(out_, value.AsUnsigned());
                break;
            case BindingValueKind::Float:
                out_ += ' ';
                if (std::isnan(value.AsFloat())) {
                    out_ += "nan";
                } else {
                    AppendShortest(out_, value.AsFloat());
                }
                break;
            case BindingValueKind::String:
                out_ += ' ';
                AppendQuoted(out_, value.AsString(), InvalidUtf8::AsBytes);
                break;
            case BindingValueKind::Blob:
                out_ += ' ';
                out_ += Base64Encode(value.BlobData(), value.Size());
                break;
            case BindingValueKind::Enum:
                out_ += ' ';
                AppendSigned(out_, value.AsEnum().value);
                break;
            case BindingValueKind::Collection:
            case BindingValueKind::Structure:
                out_ += " (";
                AppendUnsigned(out_, value.Size());
                out_ += ')';
                break;
        }
        out_ += '\n';
        return true;
    }
    void Close(std::size_t, const BindingValue&) {}

private:
    std::string& out_;
};

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) { AppendQuoted(out, text, InvalidUtf8::Replace); }

void AppendQuoted(std::string& out, std::string_view text, InvalidUtf8 invalid) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            const auto* run = p;
            while (p < end && *p >= 0x20 && *p < 0x80 && *p != '"' && *p != '\\') ++p;
            out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
            continue;
        }
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(p, end);
            if (length == 0 && invalid == InvalidUtf8::Replace) {
                out += "\\ufffd";
                ++p;
            } else if (length == 0) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
                ++p;
            } else {
                out.append(reinterpret_cast<const char*>(p), length);
                p += length;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
                break;
        }
        ++p;
    }
    out += '"';
}

std::string ValueToJson(const BindingValue& value) {
    std::string out;
    JsonVisitor visitor(out);
    Walk(value, visitor);
    return out;
}

bool ValueToTyped(const BindingValue& value, std::string& out) {
    out.clear();
    TypedVisitor visitor(out);
    return Walk(value, visitor);
}

}  // namespace hpk::host
