// YAML text into BindingValue trees, driven by the tokenizer's events. The
// reader keeps a stack of open nodes and the path to each, so anchors can name
// values by path and aliases can copy them.
#include "formats/yaml_reader.h"

#include <yaml.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"
#include "formats/yaml_anchor_table.h"
#include "formats/yaml_scalar.h"

namespace hpk {
namespace {

constexpr char kTagStr[] = "tag:yaml.org,2002:str";
constexpr std::int32_t kNoRecord = -2;  // path of this node not stored yet

// Owns the tokenizer for one call.
class YamlParser {
public:
    YamlParser() { ready_ = yaml_parser_initialize(&parser_) != 0; }
    ~YamlParser() { yaml_parser_delete(&parser_); }
    YamlParser(const YamlParser&) = delete;
    YamlParser& operator=(const YamlParser&) = delete;
    bool Ready() const { return ready_; }
    yaml_parser_t* Get() { return &parser_; }

private:
    yaml_parser_t parser_;
    bool ready_;
};

// Owns one event until the next is read.
class YamlEvent {
public:
    YamlEvent() { std::memset(&event_, 0, sizeof event_); }
    ~YamlEvent() { yaml_event_delete(&event_); }
    YamlEvent(const YamlEvent&) = delete;
    YamlEvent& operator=(const YamlEvent&) = delete;
    yaml_event_t* Get() { return &event_; }

private:
    yaml_event_t event_;
};

std::string_view Text(const yaml_char_t* text) {
    return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

class YamlValueReader {
public:
    BindingResult Read(const char* text, std::size_t length);

private:
    enum class Role : std::uint8_t { Value, Sequence, Mapping };
    struct Node {
        BindingValue* value;      // borrowed: node of the tree being built
        YamlAnchor* anchor;       // the anchor this container carries while open, or null
        std::int32_t record;      // stored path, YamlPathStore::kRoot, or kNoRecord
        Role role;
        bool reopened;            // a repeated key led back into a filled container
        YamlPathStep step;        // from the parent
    };

    void OnEvent(const yaml_event_t& event);
    void OnNode(const yaml_event_t& event);
    void OnScalar(const yaml_event_t& event, BindingValue* target);
    void OnContainerStart(const yaml_event_t& event, BindingValue* target, Role role);
    void OnAlias(const yaml_event_t& event, BindingValue* target);
    BindingValue* ChooseTarget();
    void Push(BindingValue& value, YamlPathStep step);
    void Pop();
    std::int32_t PathOfTop();
    bool EnterAnchor(const yaml_event_t& event, std::string_view name, YamlAnchor*& entry);
    bool Charge(std::uint64_t amount, const yaml_event_t& event);
    bool IsOpen(const BindingValue* value) const;
    void FailAt(const char* message, const yaml_event_t& event);

    BindingResult result_;
    std::vector<Node> stack_;
    bool hasPendingKey_ = false;
    std::string pendingKey_;
    std::size_t reopenedOpen_ = 0;     // open nodes with `reopened` set
    std::uint64_t expansion_ = 0;      // alias work so far, against kYamlMaxAliasExpansion
    YamlAnchorTable anchors_;
    YamlPathStore paths_;
};

void YamlValueReader::FailAt(const char* message, const yaml_event_t& event) {
    result_.SetError(FormatPositional(message, event.start_mark.line + 1, event.start_mark.column + 1));
}

void YamlValueReader::Push(BindingValue& value, YamlPathStep step) {
    stack_.push_back(Node{&value, nullptr, kNoRecord, Role::Value, false, std::move(step)});
}

void YamlValueReader::Pop() {
    Node& top = stack_.back();
    if (top.anchor != nullptr) top.anchor->open = false;
    if (top.reopened) --reopenedOpen_;
    stack_.pop_back();
}

// Stores the paths of the open nodes that have none yet, outermost first, and
// returns the top node's.
std::int32_t YamlValueReader::PathOfTop() {
    std::size_t first = stack_.size();
    while (first > 0 && stack_[first - 1].record == kNoRecord) --first;
    for (std::size_t i = first; i < stack_.size(); ++i) {
        stack_[i].record = paths_.Add(stack_[i - 1].record, stack_[i].step);
    }
    return stack_.back().record;
}

bool YamlValueReader::EnterAnchor(const yaml_event_t& event, std::string_view name, YamlAnchor*& entry) {
    entry = anchors_.Enter(name);
    if (entry != nullptr) return true;
    result_.SetError(FormatPositional(kMsgYamlDuplicateAnchor, name, event.start_mark.line + 1,
                                      event.start_mark.column + 1));
    return false;
}

bool YamlValueReader::Charge(std::uint64_t amount, const yaml_event_t& event) {
    expansion_ += amount;
    if (expansion_ <= kYamlMaxAliasExpansion) return true;
    result_.SetError(FormatPositional(kMsgYamlAliasExpansionTooLarge, kYamlMaxAliasExpansion,
                                      event.start_mark.line + 1, event.start_mark.column + 1));
    return false;
}

bool YamlValueReader::IsOpen(const BindingValue* value) const {
    for (const Node& node : stack_) {
        if (node.value == value) return true;
    }
    return false;
}

// The node an event fills: a new element of an open sequence, the member named
// by the pending key, or the top node itself. Null when the top node is a
// mapping waiting for a key (the event is then a key).
BindingValue* YamlValueReader::ChooseTarget() {
    Node& top = stack_.back();
    if (top.role == Role::Sequence) {
        YamlPathStep step;
        step.index = top.value->Size();
        BindingValue& element = top.value->Append();
        Push(element, std::move(step));
        return &element;
    }
    if (top.role == Role::Mapping) {
        if (!hasPendingKey_) return nullptr;
        BindingValue& member = top.value->Member(pendingKey_);
        YamlPathStep step;
        step.byKey = true;
        step.key = std::move(pendingKey_);
        pendingKey_.clear();
        hasPendingKey_ = false;
        Push(member, std::move(step));
        return &member;
    }
    return top.value;
}

void YamlValueReader::OnScalar(const yaml_event_t& event, BindingValue* target) {
    const auto& scalar = event.data.scalar;
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    const char* tag = reinterpret_cast<const char*>(scalar.tag);
    YamlAnchor* anchor = nullptr;
    if (target == nullptr) {  // a mapping key
        if (tag != nullptr && std::strcmp(tag, kTagStr) != 0) {
            FailAt(kMsgYamlInvalidKey, event);
            return;
        }
        pendingKey_.assign(text);
        hasPendingKey_ = true;
        if (scalar.anchor != nullptr && EnterAnchor(event, Text(scalar.anchor), anchor)) {
            anchor->isKey = true;
            anchor->keyText.assign(text);
        }
        return;
    }
    YamlScalarStyle style = YamlScalarStyle::Plain;
    if (scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
        style = YamlScalarStyle::Quoted;
    } else if (scalar.style == YAML_LITERAL_SCALAR_STYLE || scalar.style == YAML_FOLDED_SCALAR_STYLE) {
        style = YamlScalarStyle::Block;
    }
    TypeYamlScalar(result_, *target, tag, text, style);
    if (!result_.IsOk()) return;
    if (scalar.anchor != nullptr && EnterAnchor(event, Text(scalar.anchor), anchor)) anchor->path = PathOfTop();
    Pop();
}

void YamlValueReader::OnContainerStart(const yaml_event_t& event, BindingValue* target, Role role) {
    if (target == nullptr) {
        FailAt(role == Role::Sequence ? kMsgYamlUnexpectedSequence : kMsgYamlUnexpectedMapping, event);
        return;
    }
    if (stack_.size() > kYamlMaxDepth) {
        result_.SetError(FormatPositional(kMsgYamlTooDeep, kYamlMaxDepth, event.start_mark.line + 1,
                                          event.start_mark.column + 1));
        return;
    }
    Node& top = stack_.back();
    // A repeated key can lead back into a container that is already filled:
    // mappings then merge and sequences concatenate.
    const BindingValueKind kind = role == Role::Sequence ? BindingValueKind::Collection : BindingValueKind::Structure;
    if (target->Kind() == kind && target->Size() != 0) {
        top.reopened = true;
        ++reopenedOpen_;
    }
    if (role == Role::Sequence) {
        target->MakeCollection();
    } else {
        target->MakeStructure();
    }
    top.role = role;
    const yaml_char_t* anchorName =
        role == Role::Sequence ? event.data.sequence_start.anchor : event.data.mapping_start.anchor;
    if (anchorName != nullptr) {
        YamlAnchor* anchor = nullptr;
        if (!EnterAnchor(event, Text(anchorName), anchor)) return;
        anchor->path = PathOfTop();
        anchor->open = true;
        stack_.back().anchor = anchor;
    }
}

void YamlValueReader::OnAlias(const yaml_event_t& event, BindingValue* target) {
    const std::string_view name = Text(event.data.alias.anchor);
    const YamlAnchor* anchor = anchors_.Find(name);
    if (anchor != nullptr && anchor->open) {
        result_.SetError(FormatPositional(kMsgYamlCyclicAlias, name, event.start_mark.line + 1,
                                          event.start_mark.column + 1));
        return;
    }
    if (anchor == nullptr) {
        result_.SetError(FormatPositional(kMsgYamlUndefinedAlias, name, event.start_mark.line + 1,
                                          event.start_mark.column + 1));
        return;
    }
    const BindingValue* source = nullptr;
    if (!anchor->isKey) {
        if (!Charge(paths_.Length(anchor->path), event)) return;
        source = &paths_.Resolve(result_.Value(), anchor->path);
    }
    if (target == nullptr) {
        // An alias used as a mapping key must stand for text, like any key.
        if (source != nullptr && source->Kind() != BindingValueKind::String) {
            FailAt(kMsgYamlInvalidKey, event);
            return;
        }
        pendingKey_.assign(source != nullptr ? source->AsString() : std::string_view(anchor->keyText));
        hasPendingKey_ = true;
        return;
    }
    if (source == nullptr) {
        target->SetString(anchor->keyText);
    } else if (source != target) {
        const std::uint64_t remaining = kYamlMaxAliasExpansion - expansion_;
        if (!Charge(CountYamlValues(*source, static_cast<std::uint32_t>(remaining)), event)) return;
        // Copying in place is safe unless one of the two contains the other,
        // which only a repeated key leading back into a filled container allows.
        if (target->IsEmpty() && (reopenedOpen_ == 0 || !IsOpen(source))) {
            target->CopyFrom(*source);
        } else {
            BindingValue copy;
            copy.CopyFrom(*source);
            target->CopyFrom(copy);
        }
    }
    Pop();
}

void YamlValueReader::OnNode(const yaml_event_t& event) {
    // The tokenizer starts every node inside a document, and a document's root
    // stays open until its first node ends: a second root is a second document.
    if (stack_.empty()) {
        result_.SetError(kMsgYamlMultiDocument);
        return;
    }
    BindingValue* target = ChooseTarget();
    switch (event.type) {
        case YAML_SCALAR_EVENT: OnScalar(event, target); return;
        case YAML_SEQUENCE_START_EVENT: OnContainerStart(event, target, Role::Sequence); return;
        case YAML_MAPPING_START_EVENT: OnContainerStart(event, target, Role::Mapping); return;
        default: OnAlias(event, target); return;
    }
}

void YamlValueReader::OnEvent(const yaml_event_t& event) {
    switch (event.type) {
        case YAML_DOCUMENT_START_EVENT:
            if (!result_.Value().IsEmpty()) {
                result_.SetError(kMsgYamlMultiDocument);
            } else if (stack_.empty()) {
                stack_.push_back(Node{&result_.Value(), nullptr, YamlPathStore::kRoot, Role::Value, false, {}});
            }
            return;
        case YAML_SEQUENCE_END_EVENT:
        case YAML_MAPPING_END_EVENT:
            Pop();
            return;
        case YAML_SCALAR_EVENT:
        case YAML_SEQUENCE_START_EVENT:
        case YAML_MAPPING_START_EVENT:
        case YAML_ALIAS_EVENT:
            OnNode(event);
            return;
        default:  // stream start and end, document end
            return;
    }
}

BindingResult YamlValueReader::Read(const char* text, std::size_t length) {
    YamlParser parser;
    if (!parser.Ready()) {
        result_.SetError(FormatPositional(kMsgYamlParserError, "memory error", 0u, 0u));
        return std::move(result_);
    }
    yaml_parser_set_encoding(parser.Get(), YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(parser.Get(), reinterpret_cast<const unsigned char*>(text), length);
    bool parsed = true;
    bool done = false;
    while (result_.IsOk() && !done) {
        YamlEvent event;
        parsed = yaml_parser_parse(parser.Get(), event.Get()) != 0;
        if (!parsed) break;
        done = event.Get()->type == YAML_STREAM_END_EVENT;
        OnEvent(*event.Get());
    }
    if (!parsed && result_.IsOk()) {
        const yaml_parser_t& state = *parser.Get();
        result_.SetError(FormatPositional(kMsgYamlParserError,
                                          state.problem != nullptr ? state.problem : "memory error",
                                          state.problem_mark.line, state.problem_mark.column));
    }
    return std::move(result_);
}

}  // namespace

BindingResult ParseYaml(const char* text, std::size_t length) {
    return YamlValueReader().Read(text, length);
}

}  // namespace hpk
