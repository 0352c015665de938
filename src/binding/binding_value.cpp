// BindingValue's public operations and BindingResult. The tree walks they
// rely on are in binding_value_tree.cpp.
#include "binding/binding_value.h"

#include <cassert>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "binding/binding_value_parts.h"
#include "binding/value_arena.h"
#include "diagnostics/text_util.h"

namespace hpk {
namespace {

using Access = BindingValueAccess;

}  // namespace

const char* KindText(BindingValueKind kind) {
    switch (kind) {
        case BindingValueKind::Empty: return "empty";
        case BindingValueKind::Bool: return "bool";
        case BindingValueKind::Signed: return "signed";
        case BindingValueKind::Unsigned: return "unsigned";
        case BindingValueKind::Float: return "float";
        case BindingValueKind::String: return "string";
        case BindingValueKind::Blob: return "blob";
        case BindingValueKind::Enum: return "enum";
        case BindingValueKind::Collection: return "collection";
        case BindingValueKind::Structure: return "structure";
    }
    return "";
}

BindingValue::~BindingValue() {
    // A root takes its whole tree with its arena; nothing below needs a walk.
    if (ownsArena_) BindingValueArena::Destroy(arena_);
}

BindingValue::BindingValue(const BindingValue& other) : BindingValue() {
    try {
        CopyFrom(other);
    } catch (...) {
        BindingValueArena::Destroy(arena_);  // the destructor does not run for a throwing constructor
        throw;
    }
}

BindingValue& BindingValue::operator=(const BindingValue& other) {
    CopyFrom(other);
    return *this;
}

BindingValue::BindingValue(BindingValue&& other) noexcept : BindingValue() { MoveFrom(other); }

BindingValue& BindingValue::operator=(BindingValue&& other) noexcept {
    MoveFrom(other);
    return *this;
}

void BindingValue::ReleaseHeapPayload() noexcept { Access::ReleasePayload(*this); }

void BindingValue::SetString(std::string_view text) {
    // Interned before the old payload goes: `text` may point into this tree.
    const BindingInternEntry* entry =
        text.empty() ? BindingValueArena::EmptyText() : Access::ArenaOf(*this).Intern(text);
    ReleaseHeapPart();
    payload_.heap = const_cast<BindingInternEntry*>(entry);
    kind_ = BindingValueKind::String;
}

void BindingValue::SetBlob(std::vector<std::uint8_t> bytes) { SetBlob(bytes.data(), bytes.size()); }

void BindingValue::SetBlob(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFF0u - sizeof(BindingBlob)) throw std::bad_alloc();
    // Copied before the old payload goes: `data` may point into this tree.
    auto* blob = static_cast<BindingBlob*>(Access::ArenaOf(*this).Allocate(sizeof(BindingBlob) + size));
    blob->size = static_cast<std::uint32_t>(size);
    if (size != 0) std::memcpy(blob->Bytes(), data, size);
    Access::ReleasePayload(*this);
    payload_.heap = blob;
    kind_ = BindingValueKind::Blob;
}

void BindingValue::SetEnum(std::int32_t value, const BindingTypeRecord* type) {
    auto* cell = static_cast<BindingEnumCell*>(Access::ArenaOf(*this).Allocate(sizeof(BindingEnumCell)));
    *cell = BindingEnumCell{value, type};
    Access::ReleasePayload(*this);
    payload_.heap = cell;
    kind_ = BindingValueKind::Enum;
}

BindingValue& BindingValue::MakeCollection() {
    if (kind_ != BindingValueKind::Collection) {
        if (kind_ != BindingValueKind::Empty) Clear();  // readers make containers of fresh members
        payload_.heap = nullptr;                        // no header until the first element
        kind_ = BindingValueKind::Collection;
    }
    return *this;
}

BindingValue& BindingValue::MakeStructure() {
    if (kind_ != BindingValueKind::Structure) {
        if (kind_ != BindingValueKind::Empty) Clear();  // readers make containers of fresh members
        payload_.heap = nullptr;                        // no header until the first member
        kind_ = BindingValueKind::Structure;
    }
    return *this;
}

void BindingValue::Clear() {
    if (ownsArena_ && arena_ != nullptr) {
        // The root's arena holds nothing but this tree: drop it all at once.
        arena_->Reset();
        kind_ = BindingValueKind::Empty;
        payload_.unsignedValue = 0;
        return;
    }
    Access::ReleasePayload(*this);
}

std::size_t BindingValue::Size() const {
    switch (kind_) {
        case BindingValueKind::Empty: return 0;
        case BindingValueKind::String: return Access::Text(*this)->length;
        case BindingValueKind::Blob: return Access::Blob(*this)->size;
        case BindingValueKind::Collection: {
            const BindingCollection* items = Access::Collection(*this);
            return items == nullptr ? 0 : items->size;
        }
        case BindingValueKind::Structure: {
            const BindingStructure* members = Access::Structure(*this);
            return members == nullptr ? 0 : members->count;
        }
        default: return 1;
    }
}

bool BindingValue::AsBool(bool fallback) const { return kind_ == BindingValueKind::Bool ? payload_.boolean : fallback; }

std::int64_t BindingValue::AsSigned(std::int64_t fallback) const {
    return kind_ == BindingValueKind::Signed ? payload_.signedValue : fallback;
}

std::uint64_t BindingValue::AsUnsigned(std::uint64_t fallback) const {
    return kind_ == BindingValueKind::Unsigned ? payload_.unsignedValue : fallback;
}

double BindingValue::AsFloat(double fallback) const {
    return kind_ == BindingValueKind::Float ? payload_.number : fallback;
}

std::string_view BindingValue::AsString() const {
    return kind_ == BindingValueKind::String ? Access::Text(*this)->View() : std::string_view();
}

const std::uint8_t* BindingValue::BlobData() const {
    return kind_ == BindingValueKind::Blob ? Access::Blob(*this)->Bytes() : nullptr;
}

BindingEnumCell BindingValue::AsEnum(BindingEnumCell fallback) const {
    return kind_ == BindingValueKind::Enum ? *static_cast<const BindingEnumCell*>(payload_.heap) : fallback;
}

std::string BindingValue::Text() const {
    switch (kind_) {
        case BindingValueKind::Bool: return payload_.boolean ? "true" : "false";
        case BindingValueKind::Signed: return std::to_string(payload_.signedValue);
        case BindingValueKind::Unsigned: return std::to_string(payload_.unsignedValue);
        case BindingValueKind::Float: {
            // "%f" of the largest double needs 316 characters.
            char buffer[400];
            std::snprintf(buffer, sizeof buffer, "%f", payload_.number);
            return buffer;
        }
        case BindingValueKind::String: return std::string(AsString());
        case BindingValueKind::Blob: return Base64Encode(Access::Blob(*this)->Bytes(), Access::Blob(*this)->size);
        case BindingValueKind::Enum: return std::to_string(static_cast<const BindingEnumCell*>(payload_.heap)->value);
        default: return std::string();
    }
}

BindingValue& BindingValue::Element(std::size_t index) {
    MakeCollection();
    if (index >= 0x7FFFFFFu) throw std::bad_alloc();  // more elements than a 32-bit process can hold
    Access::GrowTo(*this, index + 1);
    return static_cast<BindingCollection*>(payload_.heap)->items[index];
}

BindingValue& BindingValue::Append() {
    // A value that is not a collection becomes an empty one first, so the new
    // element is its only one.
    MakeCollection();
    return Access::AppendItem(*this);
}

void BindingValue::Reserve(std::size_t count) {
    MakeCollection();
    Access::ReserveItems(*this, count);
}

const BindingValue& BindingValue::Element(std::size_t index) const {
    const BindingCollection* items = Access::Collection(*this);
    if (items == nullptr || index >= items->size) return EmptyValue();
    return items->items[index];
}

namespace {

// Out of line so that the common case, a member of a structure, is a plain
// jump: the copy below would give every call a frame of its own.
[[gnu::noinline]] BindingValue& MemberOfOther(BindingValue& value, std::string_view key) {
    // `key` may point into the payload about to be released.
    const std::string saved(key);
    value.MakeStructure();
    return BindingValueAccess::InsertMember(value, saved, nullptr);
}

}  // namespace

BindingValue& BindingValue::Member(std::string_view key) {
    if (kind_ == BindingValueKind::Structure) return Access::InsertMember(*this, key, nullptr);
    return MemberOfOther(*this, key);
}

const BindingValue& BindingValue::Member(std::string_view key) const {
    const BindingMemberNode* node = Access::FindMember(*this, key);
    return node == nullptr ? EmptyValue() : node->value;
}

bool BindingValue::HasMember(std::string_view key) const { return Access::FindMember(*this, key) != nullptr; }

void BindingValue::VisitMembers(MemberVisitor visitor, void* context) const {
    for (const BindingMemberNode* node = Access::FirstMember(*this); node != nullptr; node = Access::NextMember(node)) {
        visitor(context, node->key->View(), const_cast<BindingValue&>(node->value));
    }
}

void BindingValue::CopyFrom(const BindingValue& source) {
    if (&source == this) return;
    if (source.arena_ != nullptr && source.arena_ == arena_) {
        // Same tree: one may contain the other, so copy out before clearing.
        BindingValue detached(source);
        MoveFrom(detached);
        return;
    }
    Clear();
    Access::CopyTree(*this, source);
}

void BindingValue::MoveFrom(BindingValue& source) {
    if (&source == this) return;
    if (ownsArena_ && source.ownsArena_) {
        std::swap(payload_, source.payload_);
        std::swap(arena_, source.arena_);
        std::swap(kind_, source.kind_);
        source.Clear();
        return;
    }
    if (source.arena_ != nullptr && source.arena_ == arena_) {
        // Same tree: `source` may lie inside this value, so take it out first.
        BindingValue detached;
        Access::CopyTree(detached, source);
        source.Clear();
        MoveFrom(detached);
        return;
    }
    CopyFrom(source);
    source.Clear();
}

const BindingValue& BindingValue::EmptyValue() {
    static const BindingValue empty;
    return empty;
}

void BindingResult::SetError(std::string_view message) {
    // The first error wins: a caller that reaches here with a failed result
    // would replace the message that explains the failure.
    assert(ok_ && "BindingResult::SetError on a result that has already failed");
    const std::string text(message);  // `message` may point into the value being cleared
    value_.Clear();
    value_.Member("error").SetString(text);
    ok_ = false;
}

std::string BindingResult::ErrorText() const {
    if (ok_) return std::string();
    return std::string(value_.Member("error").AsString());
}

}  // namespace hpk
