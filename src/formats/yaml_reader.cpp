// YAML text into BindingValue trees, driven by the tokenizer's events. The
// reader keeps a stack of open containers and how each was reached, so anchors
// can name values by path and aliases can copy them. Paths are stored only when
// an anchor asks for one, and scalars never enter the stack.
//
// A mapping's members are gathered as they come and linked when it ends, in
// one pass and in an order remembered from its siblings, rather than inserted
// one by one into a tree that is rebalanced for each. An alias reads the tree
// while mappings are still open, so a document that has one is read again from
// the start with every member inserted as it is read; only the aliases' paths
// need that, and documents with aliases are mostly short.
#include "formats/yaml_reader.h"

#include <yaml.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "binding/binding_value_parts.h"
#include "binding/scratch_stack.h"
#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"
#include "formats/yaml_anchor_table.h"
#include "formats/yaml_key_stack.h"
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

// Owns one event at a time, released when the slot is refilled or goes.
// Releasing zeroes the event, so a slot with no event costs no call.
class YamlEvent {
public:
    // The tokenizer clears the whole event before filling it.
    YamlEvent() { event_.type = YAML_NO_EVENT; }
    ~YamlEvent() { Reset(); }
    YamlEvent(const YamlEvent&) = delete;
    YamlEvent& operator=(const YamlEvent&) = delete;
    yaml_event_t* Get() { return &event_; }
    void Reset() {
        if (event_.type != YAML_NO_EVENT) yaml_event_delete(&event_);
    }

private:
    yaml_event_t event_;
};

std::string_view Text(const yaml_char_t* text) {
    return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

class YamlValueReader {
public:
    enum class Members : std::uint8_t { Gather, Insert };
    YamlValueReader(BindingResult& result, Members members) : result_(result), gathering_(members == Members::Gather) {}
    // False when gathering met an alias: the result is then incomplete, and
    // the document is to be read again with Members::Insert.
    bool Read(const char* text, std::size_t length);

private:
    enum class Role : std::uint8_t { Value, Sequence, Mapping };
    enum class StepKind : std::uint8_t { None, Index, Key };
    // How a node was reached from its parent, for the paths of anchors (only
    // kept when members are inserted). A key is text held elsewhere: the
    // pending key while its value is read, `keys_` once a container opens.
    struct Step {
        StepKind kind = StepKind::None;
        std::size_t index = 0;  // element index, or the key's offset in `keys_`
        std::size_t keyLength = 0;
    };
    struct Node {
        BindingValue* value;  // borrowed: node of the tree being built
        YamlAnchor* anchor;   // the anchor this container carries while open, or null
        std::int32_t record;  // stored path, YamlPathStore::kRoot, or kNoRecord
        Role role;
        bool reopened;              // a repeated key led back into a filled container
        std::uint32_t elements;     // a sequence's elements so far, the index of the next
        std::uint32_t firstMember;  // a gathered mapping's first member in `members_`
        Step step;                  // from the parent
    };

    bool OnScalar(const yaml_event_t& event);
    bool OnKey(const yaml_event_t& event);
    void OnContainerStart(const yaml_event_t& event, Role role);
    void PushNode(BindingValue* target, Role role);
    void StartOtherContainer(const yaml_event_t& event, Role role, BindingValue* target, const yaml_char_t* anchorName);
    void OnAlias(const yaml_event_t& event);
    void OnDocumentStart();
    bool InDocument();
    BindingValue* ChooseTarget();
    void GatherMember();
    void Pop();
    void LinkMembers(const Node& top);
    std::int32_t PathOfTop();
    std::int32_t PathOfTarget();
    YamlPathStep PathStep(const Step& step, std::string_view key) const;
    bool EnterAnchor(const yaml_event_t& event, std::string_view name, YamlAnchor*& entry);
    bool Charge(std::uint64_t amount, const yaml_event_t& event);
    bool IsOpen(const BindingValue* value) const;
    void FailAt(const char* message, const yaml_event_t& event);

    BindingResult& result_;
    const bool gathering_;
    ScratchStack<Node, 16> stack_;
    ScratchStack<PendingMember, 64> members_;  // the open mappings' members, when gathering
    BindingValue* gatheredMember_ = nullptr;   // the value of the last one, once its key is read
    MemberOrderCache orders_;
    bool hasPendingKey_ = false;
    // Into the key's event or `aliasKey_`; when gathering, valid only until
    // the key's member is made.
    std::string_view pendingKey_;
    std::string aliasKey_;          // text of a key given by an alias
    YamlKeyStack keys_;             // keys of the open containers, outermost first
    Step targetStep_;               // how the node of the current event was reached
    std::size_t reopenedOpen_ = 0;  // open nodes with `reopened` set
    std::uint64_t expansion_ = 0;   // alias work so far, against kYamlMaxAliasExpansion
    YamlAnchorTable anchors_;
    YamlPathStore paths_;
};

void YamlValueReader::FailAt(const char* message, const yaml_event_t& event) {
    result_.SetError(FormatPositional(message, event.start_mark.line + 1, event.start_mark.column + 1));
}

void YamlValueReader::Pop() {
    Node& top = stack_.Back();
    if (gathering_ && top.role == Role::Mapping && members_.Size() != top.firstMember) LinkMembers(top);
    if (top.anchor != nullptr) top.anchor->open = false;
    if (top.reopened) --reopenedOpen_;
    if (top.step.kind == StepKind::Key) keys_.Truncate(top.step.index);
    stack_.Pop();
}

// Out of line: the pop of a sequence, the commonest, stays a few instructions.
inline void YamlValueReader::LinkMembers(const Node& top) {
    const std::size_t count = members_.Size() - top.firstMember;
    // As the reading member by member has it: a later value replaces an
    // earlier one, mappings merge and sequences concatenate.
    BindingValueAccess::LinkMembers(*top.value, members_.Data() + top.firstMember, count, RepeatedKey::MergeLastWins,
                                    &orders_);
    members_.Truncate(top.firstMember);
}

YamlPathStep YamlValueReader::PathStep(const Step& step, std::string_view key) const {
    YamlPathStep path;
    if (step.kind == StepKind::Key) {
        path.byKey = true;
        path.key.assign(key);
    } else {
        path.index = step.index;
    }
    return path;
}

// Stores the paths of the open nodes that have none yet, outermost first, and
// returns the top node's.
std::int32_t YamlValueReader::PathOfTop() {
    std::size_t first = stack_.Size();
    while (first > 0 && stack_[first - 1].record == kNoRecord) --first;
    for (std::size_t i = first; i < stack_.Size(); ++i) {
        const Step& step = stack_[i].step;
        const std::string_view key =
            step.kind == StepKind::Key ? keys_.View(step.index, step.keyLength) : std::string_view();
        stack_[i].record = paths_.Add(stack_[i - 1].record, PathStep(step, key));
    }
    return stack_.Back().record;
}

// The path of the node the current event fills, which is the top node itself
// at the document root and otherwise a child of it not yet on the stack.
std::int32_t YamlValueReader::PathOfTarget() {
    const std::int32_t parent = PathOfTop();
    if (targetStep_.kind == StepKind::None) return parent;
    return paths_.Add(parent, PathStep(targetStep_, pendingKey_));
}

bool YamlValueReader::EnterAnchor(const yaml_event_t& event, std::string_view name, YamlAnchor*& entry) {
    entry = anchors_.Enter(name);
    if (entry != nullptr) return true;
    result_.SetError(
        FormatPositional(kMsgYamlDuplicateAnchor, name, event.start_mark.line + 1, event.start_mark.column + 1));
    return false;
}

bool YamlValueReader::Charge(std::uint64_t amount, const yaml_event_t& event) {
    expansion_ += amount;
    if (expansion_ <= kYamlMaxAliasExpansion) return true;
    result_.SetError(FormatPositional(kMsgYamlAliasExpansionTooLarge, kYamlMaxAliasExpansion, event.start_mark.line + 1,
                                      event.start_mark.column + 1));
    return false;
}

bool YamlValueReader::IsOpen(const BindingValue* value) const {
    for (std::size_t i = 0; i < stack_.Size(); ++i) {
        if (stack_[i].value == value) return true;
    }
    return false;
}

// The tokenizer starts every node inside a document, and a document's root
// stays open until its first node ends: a second root is a second document.
bool YamlValueReader::InDocument() {
    if (!stack_.Empty()) return true;
    result_.SetError(kMsgYamlMultiDocument);
    return false;
}

// The node an event fills: a new element of an open sequence, the member named
// by the pending key, or the top node itself. Null when the top node is a
// mapping waiting for a key (the event is then a key).
//
// `targetStep_` tells how the target was reached; when members are inserted,
// a key stays readable through `pendingKey_` until the next event, though it
// is no longer pending.
inline BindingValue* YamlValueReader::ChooseTarget() {
    Node& top = stack_.Back();
    if (top.role == Role::Mapping) {
        if (!hasPendingKey_) return nullptr;
        hasPendingKey_ = false;
        targetStep_.kind = StepKind::Key;
        // The top node is a structure already: straight to the insertion. A
        // gathered member was made at its key, whose event is gone.
        return gathering_ ? gatheredMember_ : &BindingValueAccess::InsertMember(*top.value, pendingKey_, nullptr);
    }
    if (top.role == Role::Sequence) {
        targetStep_.kind = StepKind::Index;
        targetStep_.index = top.elements++;
        return &BindingValueAccess::AppendItem(*top.value);  // the top node is a collection already
    }
    targetStep_.kind = StepKind::None;
    return top.value;
}

// A member of the top node, a mapping, for the pending key, to be linked
// when the mapping ends.
void YamlValueReader::GatherMember() {
    const Node& top = stack_.Back();
    BindingMemberNode* node = BindingValueAccess::NewMember(BindingValueAccess::ArenaOf(*top.value), pendingKey_);
    const auto order = static_cast<std::uint32_t>(members_.Size() - top.firstMember);
    members_.Push() = PendingMember{node->key->lead, order, node};
    gatheredMember_ = &node->value;
}

// A mapping key. When gathering, its member is made now; otherwise its text
// stays in its event, which the caller keeps until the key's value has been
// read (true).
bool YamlValueReader::OnKey(const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    if (scalar.tag != nullptr && std::strcmp(reinterpret_cast<const char*>(scalar.tag), kTagStr) != 0) {
        FailAt(kMsgYamlInvalidKey, event);
        return false;
    }
    pendingKey_ = std::string_view(reinterpret_cast<const char*>(scalar.value), scalar.length);
    hasPendingKey_ = true;
    YamlAnchor* anchor = nullptr;
    if (scalar.anchor != nullptr) {
        // A failed result no longer holds the tree: nothing more is built.
        if (!EnterAnchor(event, Text(scalar.anchor), anchor)) return false;
        anchor->isKey = true;
        anchor->keyText.assign(pendingKey_);
    }
    if (!gathering_) return true;
    GatherMember();
    return false;
}

// True when the scalar is a mapping key held in its event.
inline bool YamlValueReader::OnScalar(const yaml_event_t& event) {
    if (!InDocument()) return false;
    BindingValue* target = ChooseTarget();
    if (target == nullptr) return OnKey(event);
    const auto& scalar = event.data.scalar;
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    if (scalar.tag == nullptr) {
        const bool plain = scalar.style == YAML_PLAIN_SCALAR_STYLE || scalar.style == YAML_ANY_SCALAR_STYLE;
        if (plain && (text.empty() || !IsYamlTextOnlyStart(text[0]))) {
            TypeYamlPlainScalar(*target, text);
        } else {
            target->SetString(text);  // quoted and block scalars, and plain text no other rule can take
        }
    } else {
        YamlScalarStyle style = YamlScalarStyle::Plain;
        if (scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
            style = YamlScalarStyle::Quoted;
        } else if (scalar.style == YAML_LITERAL_SCALAR_STYLE || scalar.style == YAML_FOLDED_SCALAR_STYLE) {
            style = YamlScalarStyle::Block;
        }
        TypeYamlScalar(result_, *target, reinterpret_cast<const char*>(scalar.tag), text, style);
        if (!result_.IsOk()) return false;
    }
    YamlAnchor* anchor = nullptr;
    if (scalar.anchor != nullptr && EnterAnchor(event, Text(scalar.anchor), anchor) && !gathering_) {
        anchor->path = PathOfTarget();
    }
    if (targetStep_.kind == StepKind::None) Pop();  // the document's root
    return false;
}

// Most containers are a fresh member or element with no anchor: pushed here,
// with the rest (the root, a container a repeated key leads back into, an
// anchor, a failure) out of line.
inline void YamlValueReader::OnContainerStart(const yaml_event_t& event, Role role) {
    if (!InDocument()) return;
    BindingValue* target = ChooseTarget();
    const yaml_char_t* anchorName =
        role == Role::Sequence ? event.data.sequence_start.anchor : event.data.mapping_start.anchor;
    if (target == nullptr || targetStep_.kind == StepKind::None || !target->IsEmpty() || anchorName != nullptr ||
        stack_.Size() >= kYamlMaxDepth) {
        StartOtherContainer(event, role, target, anchorName);
        return;
    }
    PushNode(target, role);
    BindingValueAccess::MakeContainer(*target,
                                      role == Role::Sequence ? BindingValueKind::Collection : BindingValueKind::Structure);
}

// A node for the container `target`, reached by `targetStep_`.
inline void YamlValueReader::PushNode(BindingValue* target, Role role) {
    Node& node = stack_.Push();
    node.value = target;
    node.anchor = nullptr;
    node.record = kNoRecord;
    node.role = role;
    node.reopened = false;
    node.elements = 0;
    node.firstMember = static_cast<std::uint32_t>(members_.Size());
    node.step.kind = targetStep_.kind;
    if (targetStep_.kind == StepKind::Key) {
        node.step.index = keys_.Size();
        node.step.keyLength = pendingKey_.size();
        if (!gathering_) keys_.Append(pendingKey_);  // only aliases follow paths
    } else {
        node.step.index = targetStep_.index;
    }
}

[[gnu::noinline]] void YamlValueReader::StartOtherContainer(const yaml_event_t& event, Role role, BindingValue* target,
                                                            const yaml_char_t* anchorName) {
    if (target == nullptr) {
        FailAt(role == Role::Sequence ? kMsgYamlUnexpectedSequence : kMsgYamlUnexpectedMapping, event);
        return;
    }
    // The depth counts the new container, which the root already is.
    const std::size_t depth = stack_.Size() + (targetStep_.kind == StepKind::None ? 0 : 1);
    if (depth > kYamlMaxDepth) {
        result_.SetError(
            FormatPositional(kMsgYamlTooDeep, kYamlMaxDepth, event.start_mark.line + 1, event.start_mark.column + 1));
        return;
    }
    if (targetStep_.kind != StepKind::None) PushNode(target, role);
    Node& top = stack_.Back();
    // A repeated key can lead back into a container that is already filled:
    // mappings then merge and sequences concatenate.
    const BindingValueKind kind = role == Role::Sequence ? BindingValueKind::Collection : BindingValueKind::Structure;
    if (target->Kind() == kind) {
        const std::size_t size = target->Size();
        if (size != 0) {
            top.reopened = true;
            ++reopenedOpen_;
            top.elements = static_cast<std::uint32_t>(size);
        }
    }
    if (target->IsEmpty()) {
        BindingValueAccess::MakeContainer(*target, kind);
    } else if (role == Role::Sequence) {
        target->MakeCollection();
    } else {
        target->MakeStructure();
    }
    top.role = role;
    top.firstMember = static_cast<std::uint32_t>(members_.Size());
    if (anchorName != nullptr) {
        YamlAnchor* anchor = nullptr;
        if (!EnterAnchor(event, Text(anchorName), anchor)) return;
        if (!gathering_) anchor->path = PathOfTop();
        anchor->open = true;
        top.anchor = anchor;
    }
}

void YamlValueReader::OnAlias(const yaml_event_t& event) {
    if (!InDocument()) return;
    BindingValue* target = ChooseTarget();
    const std::string_view name = Text(event.data.alias.anchor);
    const YamlAnchor* anchor = anchors_.Find(name);
    if (anchor != nullptr && anchor->open) {
        result_.SetError(
            FormatPositional(kMsgYamlCyclicAlias, name, event.start_mark.line + 1, event.start_mark.column + 1));
        return;
    }
    if (anchor == nullptr) {
        result_.SetError(
            FormatPositional(kMsgYamlUndefinedAlias, name, event.start_mark.line + 1, event.start_mark.column + 1));
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
        aliasKey_.assign(source != nullptr ? source->AsString() : std::string_view(anchor->keyText));
        pendingKey_ = aliasKey_;
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
    if (targetStep_.kind == StepKind::None) Pop();  // the document's root
}

void YamlValueReader::OnDocumentStart() {
    if (!result_.Value().IsEmpty()) {
        result_.SetError(kMsgYamlMultiDocument);
    } else if (stack_.Empty()) {
        Node& root = stack_.Push();
        root = Node{&result_.Value(), nullptr, YamlPathStore::kRoot, Role::Value, false, 0, 0, {}};
    }
}

bool YamlValueReader::Read(const char* text, std::size_t length) {
    YamlParser parser;
    if (!parser.Ready()) {
        result_.SetError(FormatPositional(kMsgYamlParserError, "memory error", 0u, 0u));
        return true;
    }
    yaml_parser_set_encoding(parser.Get(), YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(parser.Get(), reinterpret_cast<const unsigned char*>(text), length);
    // Two slots: when members are inserted, a key's event is held, unreleased,
    // while the next event (the key's value) is read into the other.
    YamlEvent events[2];
    yaml_event_t* event = events[0].Get();
    yaml_event_t* held = events[1].Get();
    for (;;) {
        if (event->type != YAML_NO_EVENT) yaml_event_delete(event);
        if (yaml_parser_parse(parser.Get(), event) == 0) break;
        switch (event->type) {
            case YAML_SCALAR_EVENT:
                if (OnScalar(*event)) std::swap(event, held);
                break;
            case YAML_MAPPING_START_EVENT: OnContainerStart(*event, Role::Mapping); break;
            case YAML_SEQUENCE_START_EVENT: OnContainerStart(*event, Role::Sequence); break;
            case YAML_MAPPING_END_EVENT:
            case YAML_SEQUENCE_END_EVENT: Pop(); continue;
            case YAML_ALIAS_EVENT:
                if (gathering_) return false;
                OnAlias(*event);
                break;
            case YAML_DOCUMENT_START_EVENT: OnDocumentStart(); break;
            case YAML_STREAM_END_EVENT: return true;
            default: continue;  // stream start, document end
        }
        if (!result_.IsOk()) return true;
    }
    const yaml_parser_t& state = *parser.Get();
    result_.SetError(FormatPositional(kMsgYamlParserError, state.problem != nullptr ? state.problem : "memory error",
                                      state.problem_mark.line, state.problem_mark.column));
    return true;
}

}  // namespace

BindingResult ParseYaml(const char* text, std::size_t length) {
    {
        BindingResult gathered;
        if (YamlValueReader(gathered, YamlValueReader::Members::Gather).Read(text, length)) return gathered;
    }
    return ParseYamlMemberByMember(text, length);
}

BindingResult ParseYamlMemberByMember(const char* text, std::size_t length) {
    BindingResult result;
    YamlValueReader(result, YamlValueReader::Members::Insert).Read(text, length);
    return result;
}

}  // namespace hpk
