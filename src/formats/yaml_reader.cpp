// YAML text into BindingValue trees, driven by the tokenizer's events.
//
// A document is read first through the tree builder the JSON reader uses:
// each mapping's members and each sequence's elements are gathered and linked
// when the container ends. An alias names its anchor by a path from the root
// while mappings are still open, which that reading cannot resolve, so it
// stops at the first alias and the document is read again from the start by
// the member-by-member reading: it keeps a stack of open containers and how
// each was reached, inserts every member into its structure as it is read, and
// stores paths only when an anchor asks for one. Documents with aliases are
// mostly short.
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
#include "formats/value_tree_builder.h"
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

void FailAt(BindingResult& result, const char* message, const yaml_event_t& event) {
    result.SetError(FormatPositional(message, event.start_mark.line + 1, event.start_mark.column + 1));
}

void FailTooDeep(BindingResult& result, const yaml_event_t& event) {
    result.SetError(
        FormatPositional(kMsgYamlTooDeep, kYamlMaxDepth, event.start_mark.line + 1, event.start_mark.column + 1));
}

void FailDuplicateAnchor(BindingResult& result, std::string_view name, const yaml_event_t& event) {
    result.SetError(
        FormatPositional(kMsgYamlDuplicateAnchor, name, event.start_mark.line + 1, event.start_mark.column + 1));
}

// Mapping keys are untagged or tagged as text.
bool IsKeyTag(const yaml_event_t& event) {
    const yaml_char_t* tag = event.data.scalar.tag;
    return tag == nullptr || std::strcmp(reinterpret_cast<const char*>(tag), kTagStr) == 0;
}

// Types the scalar of `event` into the empty `target`; false (the result
// failed) when its tag does not fit its text.
inline bool TypeScalar(BindingResult& result, BindingValue& target, const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    if (scalar.tag == nullptr) {
        const bool plain = scalar.style == YAML_PLAIN_SCALAR_STYLE || scalar.style == YAML_ANY_SCALAR_STYLE;
        if (plain && (text.empty() || !IsYamlTextOnlyStart(text[0]))) {
            TypeYamlPlainScalar(target, text);
        } else {
            target.SetString(text);  // quoted and block scalars, and plain text no other rule can take
        }
        return true;
    }
    YamlScalarStyle style = YamlScalarStyle::Plain;
    if (scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
        style = YamlScalarStyle::Quoted;
    } else if (scalar.style == YAML_LITERAL_SCALAR_STYLE || scalar.style == YAML_FOLDED_SCALAR_STYLE) {
        style = YamlScalarStyle::Block;
    }
    TypeYamlScalar(result, target, reinterpret_cast<const char*>(scalar.tag), text, style);
    return result.IsOk();
}

// Sets the tokenizer to read `text`; false (the result failed) when it
// could not be made.
bool StartParser(YamlParser& parser, BindingResult& result, const char* text, std::size_t length) {
    if (!parser.Ready()) {
        result.SetError(FormatPositional(kMsgYamlParserError, "memory error", 0u, 0u));
        return false;
    }
    yaml_parser_set_encoding(parser.Get(), YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(parser.Get(), reinterpret_cast<const unsigned char*>(text), length);
    return true;
}

// The tokenizer stopped on an error of the text (or of memory).
void FailParse(BindingResult& result, const yaml_parser_t& state) {
    result.SetError(FormatPositional(kMsgYamlParserError, state.problem != nullptr ? state.problem : "memory error",
                                     state.problem_mark.line, state.problem_mark.column));
}

// The first reading: every event into the tree builder. It keeps the
// grammar the builder leaves to its reader (a key only where a mapping waits
// for one) and the anchors' names, which must be unique even where no alias
// follows.
class YamlGatheringReader {
public:
    explicit YamlGatheringReader(BindingResult& result)
        : result_(result), tree_(result.Value(), RepeatedKey::MergeLastWins, kYamlMaxDepth) {}
    // False when the document has an alias: the result is then incomplete,
    // and the document is to be read member by member.
    bool Read(const char* text, std::size_t length);

private:
    // What the next node is. A document's root stays open until its first
    // node ends: a second root is a second document.
    enum class Next : std::uint8_t { None, Value, Key };

    // Each false when the result has failed.
    bool OnScalar(const yaml_event_t& event);
    bool OnContainerStart(const yaml_event_t& event, bool sequence);
    void OnContainerEnd(bool sequence);
    bool OnDocumentStart();
    bool OutsideDocument();
    bool EnterAnchor(const yaml_char_t* name, const yaml_event_t& event);
    // After a value: the next node is a key when the innermost open
    // container is a mapping; the document ends with its root.
    void ValueDone() {
        if (tree_.Depth() == 0) {
            next_ = Next::None;
        } else {
            next_ = tree_.InObject() ? Next::Key : Next::Value;
        }
    }

    BindingResult& result_;
    ValueTreeBuilder tree_;
    YamlAnchorTable anchors_;  // the names taken
    Next next_ = Next::None;
};

// A node where no document is open: always false.
bool YamlGatheringReader::OutsideDocument() {
    result_.SetError(kMsgYamlMultiDocument);
    return false;
}

// An anchor's name may be given once, aliased or not.
inline bool YamlGatheringReader::EnterAnchor(const yaml_char_t* name, const yaml_event_t& event) {
    if (name == nullptr || anchors_.Enter(Text(name)) != nullptr) return true;
    FailDuplicateAnchor(result_, Text(name), event);
    return false;
}

inline bool YamlGatheringReader::OnScalar(const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    if (next_ != Next::Value) {
        if (next_ == Next::None) return OutsideDocument();
        if (!IsKeyTag(event)) {
            FailAt(result_, kMsgYamlInvalidKey, event);
            return false;
        }
        if (!EnterAnchor(scalar.anchor, event)) return false;
        tree_.Key(std::string_view(reinterpret_cast<const char*>(scalar.value), scalar.length));
        next_ = Next::Value;
        return true;
    }
    if (!TypeScalar(result_, tree_.NextValue(), event) || !EnterAnchor(scalar.anchor, event)) return false;
    ValueDone();
    return true;
}

inline bool YamlGatheringReader::OnContainerStart(const yaml_event_t& event, bool sequence) {
    if (next_ != Next::Value) {
        if (next_ == Next::None) return OutsideDocument();
        FailAt(result_, sequence ? kMsgYamlUnexpectedSequence : kMsgYamlUnexpectedMapping, event);
        return false;
    }
    if (!tree_.Open(sequence)) {
        FailTooDeep(result_, event);
        return false;
    }
    next_ = sequence ? Next::Value : Next::Key;
    return EnterAnchor(sequence ? event.data.sequence_start.anchor : event.data.mapping_start.anchor, event);
}

// Inline in the event loop, where each kind of end has its own call.
[[gnu::always_inline]] inline void YamlGatheringReader::OnContainerEnd(bool sequence) {
    if (sequence) {
        tree_.CloseArray();
    } else {
        tree_.CloseObject();
    }
    ValueDone();
}

bool YamlGatheringReader::OnDocumentStart() {
    if (!result_.Value().IsEmpty()) {
        result_.SetError(kMsgYamlMultiDocument);
        return false;
    }
    next_ = Next::Value;
    return true;
}

bool YamlGatheringReader::Read(const char* text, std::size_t length) {
    YamlParser parser;
    if (!StartParser(parser, result_, text, length)) return true;
    YamlEvent slot;  // releases the event the loop returns from
    yaml_event_t* event = slot.Get();
    for (;;) {
        if (yaml_parser_parse(parser.Get(), event) == 0) break;
        bool ok = true;
        switch (event->type) {
            case YAML_SCALAR_EVENT: ok = OnScalar(*event); break;
            case YAML_MAPPING_START_EVENT: ok = OnContainerStart(*event, false); break;
            case YAML_SEQUENCE_START_EVENT: ok = OnContainerStart(*event, true); break;
            case YAML_MAPPING_END_EVENT: OnContainerEnd(false); break;
            case YAML_SEQUENCE_END_EVENT: OnContainerEnd(true); break;
            case YAML_ALIAS_EVENT: return false;
            case YAML_DOCUMENT_START_EVENT: ok = OnDocumentStart(); break;
            case YAML_STREAM_END_EVENT: return true;
            default: break;  // stream start, document end
        }
        yaml_event_delete(event);  // and clears it
        if (!ok) return true;
    }
    FailParse(result_, *parser.Get());
    return true;
}

// The member-by-member reading, for documents with aliases: a stack of open
// containers and how each was reached, so that anchors can name values by
// path and aliases can copy them. Paths are stored only when an anchor asks
// for one, and scalars never enter the stack.
class YamlInsertingReader {
public:
    explicit YamlInsertingReader(BindingResult& result) : result_(result) {}
    void Read(const char* text, std::size_t length);

private:
    enum class Role : std::uint8_t { Value, Sequence, Mapping };
    enum class StepKind : std::uint8_t { None, Index, Key };
    // How a node was reached from its parent, for the paths of anchors. A key
    // is text held elsewhere: the pending key while its value is read,
    // `keys_` once a container opens.
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
        bool reopened;           // a repeated key led back into a filled container
        std::uint32_t elements;  // a sequence's elements so far, the index of the next
        Step step;               // from the parent
    };

    bool OnScalar(const yaml_event_t& event);
    bool OnKey(const yaml_event_t& event);
    void OnContainerStart(const yaml_event_t& event, Role role);
    void OnAlias(const yaml_event_t& event);
    void OnDocumentStart();
    bool InDocument();
    BindingValue* ChooseTarget();
    void Pop();
    std::int32_t PathOfTop();
    std::int32_t PathOfTarget();
    YamlPathStep PathStep(const Step& step, std::string_view key) const;
    bool EnterAnchor(const yaml_event_t& event, std::string_view name, YamlAnchor*& entry);
    bool Charge(std::uint64_t amount, const yaml_event_t& event);
    bool IsOpen(const BindingValue* value) const;

    BindingResult& result_;
    ScratchStack<Node, 16> stack_;
    bool hasPendingKey_ = false;
    std::string_view pendingKey_;   // into the key's event or `aliasKey_`
    std::string aliasKey_;          // text of a key given by an alias
    YamlKeyStack keys_;             // keys of the open containers, outermost first
    Step targetStep_;               // how the node of the current event was reached
    std::size_t reopenedOpen_ = 0;  // open nodes with `reopened` set
    std::uint64_t expansion_ = 0;   // alias work so far, against kYamlMaxAliasExpansion
    YamlAnchorTable anchors_;
    YamlPathStore paths_;
};

void YamlInsertingReader::Pop() {
    Node& top = stack_.Back();
    if (top.anchor != nullptr) top.anchor->open = false;
    if (top.reopened) --reopenedOpen_;
    if (top.step.kind == StepKind::Key) keys_.Truncate(top.step.index);
    stack_.Pop();
}

YamlPathStep YamlInsertingReader::PathStep(const Step& step, std::string_view key) const {
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
std::int32_t YamlInsertingReader::PathOfTop() {
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
std::int32_t YamlInsertingReader::PathOfTarget() {
    const std::int32_t parent = PathOfTop();
    if (targetStep_.kind == StepKind::None) return parent;
    return paths_.Add(parent, PathStep(targetStep_, pendingKey_));
}

bool YamlInsertingReader::EnterAnchor(const yaml_event_t& event, std::string_view name, YamlAnchor*& entry) {
    entry = anchors_.Enter(name);
    if (entry != nullptr) return true;
    FailDuplicateAnchor(result_, name, event);
    return false;
}

bool YamlInsertingReader::Charge(std::uint64_t amount, const yaml_event_t& event) {
    expansion_ += amount;
    if (expansion_ <= kYamlMaxAliasExpansion) return true;
    result_.SetError(FormatPositional(kMsgYamlAliasExpansionTooLarge, kYamlMaxAliasExpansion, event.start_mark.line + 1,
                                      event.start_mark.column + 1));
    return false;
}

bool YamlInsertingReader::IsOpen(const BindingValue* value) const {
    for (std::size_t i = 0; i < stack_.Size(); ++i) {
        if (stack_[i].value == value) return true;
    }
    return false;
}

// The tokenizer starts every node inside a document, and a document's root
// stays open until its first node ends: a second root is a second document.
bool YamlInsertingReader::InDocument() {
    if (!stack_.Empty()) return true;
    result_.SetError(kMsgYamlMultiDocument);
    return false;
}

// The node an event fills: a new element of an open sequence, the member named
// by the pending key, or the top node itself. Null when the top node is a
// mapping waiting for a key (the event is then a key).
//
// `targetStep_` tells how the target was reached; a key stays readable
// through `pendingKey_` until the next event, though it is no longer pending.
BindingValue* YamlInsertingReader::ChooseTarget() {
    Node& top = stack_.Back();
    if (top.role == Role::Mapping) {
        if (!hasPendingKey_) return nullptr;
        hasPendingKey_ = false;
        targetStep_.kind = StepKind::Key;
        return &BindingValueAccess::InsertMember(*top.value, pendingKey_, nullptr);
    }
    if (top.role == Role::Sequence) {
        targetStep_.kind = StepKind::Index;
        targetStep_.index = top.elements++;
        return &BindingValueAccess::AppendItem(*top.value);  // the top node is a collection already
    }
    targetStep_.kind = StepKind::None;
    return top.value;
}

// A mapping key, whose text stays in its event: true while the caller is to
// keep that event until the key's value has been read.
bool YamlInsertingReader::OnKey(const yaml_event_t& event) {
    if (!IsKeyTag(event)) {
        FailAt(result_, kMsgYamlInvalidKey, event);
        return false;
    }
    const auto& scalar = event.data.scalar;
    pendingKey_ = std::string_view(reinterpret_cast<const char*>(scalar.value), scalar.length);
    hasPendingKey_ = true;
    if (scalar.anchor != nullptr) {
        YamlAnchor* anchor = nullptr;
        if (!EnterAnchor(event, Text(scalar.anchor), anchor)) return false;
        anchor->isKey = true;
        anchor->keyText.assign(pendingKey_);
    }
    return true;
}

// True when the scalar is a mapping key held in its event.
bool YamlInsertingReader::OnScalar(const yaml_event_t& event) {
    if (!InDocument()) return false;
    BindingValue* target = ChooseTarget();
    if (target == nullptr) return OnKey(event);
    if (!TypeScalar(result_, *target, event)) return false;
    const yaml_char_t* anchorName = event.data.scalar.anchor;
    YamlAnchor* anchor = nullptr;
    if (anchorName != nullptr && EnterAnchor(event, Text(anchorName), anchor)) anchor->path = PathOfTarget();
    if (targetStep_.kind == StepKind::None) Pop();  // the document's root
    return false;
}

void YamlInsertingReader::OnContainerStart(const yaml_event_t& event, Role role) {
    if (!InDocument()) return;
    BindingValue* target = ChooseTarget();
    if (target == nullptr) {
        FailAt(result_, role == Role::Sequence ? kMsgYamlUnexpectedSequence : kMsgYamlUnexpectedMapping, event);
        return;
    }
    // The depth counts the new container, which the root already is.
    const std::size_t depth = stack_.Size() + (targetStep_.kind == StepKind::None ? 0 : 1);
    if (depth > kYamlMaxDepth) return FailTooDeep(result_, event);
    if (targetStep_.kind != StepKind::None) {
        Node& node = stack_.Push();
        node.value = target;
        node.anchor = nullptr;
        node.record = kNoRecord;
        node.reopened = false;
        node.elements = 0;
        node.step.kind = targetStep_.kind;
        if (targetStep_.kind == StepKind::Key) {
            node.step.index = keys_.Size();
            node.step.keyLength = pendingKey_.size();
            keys_.Append(pendingKey_);
        } else {
            node.step.index = targetStep_.index;
        }
    }
    Node& top = stack_.Back();
    // A repeated key can lead back into a container that is already filled:
    // mappings then merge and sequences concatenate. A fresh node is empty.
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
        BindingValueAccess::MakeContainer(*target, kind);  // a fresh node, the usual case
    } else if (role == Role::Sequence) {
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
        top.anchor = anchor;
    }
}

void YamlInsertingReader::OnAlias(const yaml_event_t& event) {
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
            FailAt(result_, kMsgYamlInvalidKey, event);
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

void YamlInsertingReader::OnDocumentStart() {
    if (!result_.Value().IsEmpty()) {
        result_.SetError(kMsgYamlMultiDocument);
    } else if (stack_.Empty()) {
        Node& root = stack_.Push();
        root = Node{&result_.Value(), nullptr, YamlPathStore::kRoot, Role::Value, false, 0, {}};
    }
}

void YamlInsertingReader::Read(const char* text, std::size_t length) {
    YamlParser parser;
    if (!StartParser(parser, result_, text, length)) return;
    // Two slots: a key's event is held, unreleased, while the next event (the
    // key's value) is read into the other.
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
            case YAML_ALIAS_EVENT: OnAlias(*event); break;
            case YAML_DOCUMENT_START_EVENT: OnDocumentStart(); break;
            case YAML_STREAM_END_EVENT: return;
            default: continue;  // stream start, document end
        }
        if (!result_.IsOk()) return;
    }
    FailParse(result_, *parser.Get());
}

}  // namespace

BindingResult ParseYaml(const char* text, std::size_t length) {
    {
        BindingResult gathered;
        if (YamlGatheringReader(gathered).Read(text, length)) return gathered;
    }
    return ParseYamlMemberByMember(text, length);
}

BindingResult ParseYamlMemberByMember(const char* text, std::size_t length) {
    BindingResult result;
    YamlInsertingReader(result).Read(text, length);
    return result;
}

}  // namespace hpk
