// BindingValue: the dynamic value every payload is held in between its encoding
// and its native record, and BindingResult, the value-or-error every reader and
// converter returns. The arena behind a tree lives in value_arena.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hpk {

class BindingValueArena;
struct BindingTypeRecord;

enum class BindingValueKind : std::uint8_t {
    Empty = 0,
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Float = 4,
    String = 5,
    Blob = 6,
    Enum = 7,
    Collection = 8,
    Structure = 9,
};

// "empty", "bool", ... "structure"; the empty string for any other code.
const char* KindText(BindingValueKind kind);

struct BindingEnumCell {
    std::int32_t value;
    const BindingTypeRecord* type;  // the enumeration's static type record
};

// A node of a value tree. A value created on its own is a root and owns the
// arena that all heap parts of its tree come from; values reached through
// Element/Member are references into the tree, invalid once the tree changes
// shape (Clear, MakeCollection/MakeStructure on an ancestor, the root's
// destruction). Never store such a reference. A tree is used by one thread at
// a time. Nesting depth is bounded by memory only: no operation here recurses
// on the depth of the tree. Running out of memory throws std::bad_alloc (the
// boundary shims catch it); nothing else throws.
class BindingValue {
public:
    BindingValue() noexcept
        : arena_(nullptr), kind_(BindingValueKind::Empty), ownsArena_(true) {  // empty root, no arena yet
        payload_.unsignedValue = 0;
    }
    ~BindingValue();
    BindingValue(const BindingValue& other);             // deep copy into a new root
    BindingValue& operator=(const BindingValue& other);  // deep copy into this tree
    BindingValue(BindingValue&& other) noexcept;         // Move semantics below
    BindingValue& operator=(BindingValue&& other) noexcept;

    // Assignment; each releases the previous payload first.
    // Inline: readers call these once per scalar of a payload.
    void SetBool(bool value) {
        ReleaseHeapPart();
        payload_.unsignedValue = 0;
        payload_.boolean = value;
        kind_ = BindingValueKind::Bool;
    }
    void SetSigned(std::int64_t value) {
        ReleaseHeapPart();
        payload_.signedValue = value;
        kind_ = BindingValueKind::Signed;
    }
    void SetUnsigned(std::uint64_t value) {
        ReleaseHeapPart();
        payload_.unsignedValue = value;
        kind_ = BindingValueKind::Unsigned;
    }
    void SetFloat(double value) {
        ReleaseHeapPart();
        payload_.number = value;
        kind_ = BindingValueKind::Float;
    }
    void SetString(std::string_view text);          // interned in the tree's arena
    void SetBlob(std::vector<std::uint8_t> bytes);  // bytes are copied into the tree's arena
    void SetBlob(const std::uint8_t* data, std::size_t size);
    void SetEnum(std::int32_t value, const BindingTypeRecord* type);
    BindingValue& MakeCollection();  // no change when already one
    BindingValue& MakeStructure();   // no change when already one
    void Clear();                    // back to empty, releasing the payload

    // Inspection.
    BindingValueKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == BindingValueKind::Empty; }
    // empty 0; string bytes; blob bytes; collection elements; structure members; else 1.
    std::size_t Size() const;
    bool AsBool(bool fallback = false) const;
    std::int64_t AsSigned(std::int64_t fallback = 0) const;      // signed kind only
    std::uint64_t AsUnsigned(std::uint64_t fallback = 0) const;  // unsigned kind only
    double AsFloat(double fallback = 0.0) const;
    std::string_view AsString() const;     // "" unless a string
    const std::uint8_t* BlobData() const;  // null unless a blob
    BindingEnumCell AsEnum(BindingEnumCell fallback = {0, nullptr}) const;
    // The text used to quote a value in messages: bool true/false, integers in
    // decimal, float "%f", string as is, blob Base64, enum its number, else "".
    std::string Text() const;

    // Collections. Mutable access turns a non-collection into an empty one and
    // appends empty elements until `index` exists. Growing the collection
    // moves its elements: earlier element references become invalid.
    BindingValue& Element(std::size_t index);
    // One new element at the end; a non-collection first becomes an empty one.
    BindingValue& Append();
    // Capacity hint; a non-collection first becomes an empty one.
    void Reserve(std::size_t count);
    // Read-only: the element, or the shared static empty value.
    const BindingValue& Element(std::size_t index) const;

    // Structures: members ordered by unsigned byte-wise key comparison. Mutable
    // access turns a non-structure into an empty one and inserts the key.
    // Member references stay valid while other members are inserted.
    BindingValue& Member(std::string_view key);
    const BindingValue& Member(std::string_view key) const;  // or the static empty value
    bool HasMember(std::string_view key) const;

    // Visits members in key order. The callback gets (key, value); the key view
    // is valid as long as the member exists.
    template <class F>
    void ForEachMember(F&& visit) const;
    template <class F>
    void ForEachMember(F&& visit);

    // Deep copy of `source` into this value, using this tree's arena. `source`
    // may be anywhere, in this tree included. Throws std::bad_alloc only.
    void CopyFrom(const BindingValue& source);
    // When both are roots owning their arenas: exchange all fields, with no
    // allocation; otherwise a deep copy. `source` is left empty either way, so
    // it must not be an ancestor of this value.
    void MoveFrom(BindingValue& source);

    // The shared static empty value returned by read-only access. Never modify.
    static const BindingValue& EmptyValue();

    // The tree's arena (null while nothing needed one), for inspection and tests.
    BindingValueArena* Arena() const { return arena_; }

private:
    friend class BindingValueArena;
    friend struct BindingValueAccess;

    // Member iteration without exposing the map type.
    using MemberVisitor = void (*)(void* context, std::string_view key, BindingValue& value);
    void VisitMembers(MemberVisitor visitor, void* context) const;

    // Kinds from string on refer to a heap part of the arena.
    bool HasHeapPart() const { return kind_ >= BindingValueKind::String; }
    void ReleaseHeapPart() {
        if (HasHeapPart()) ReleaseHeapPayload();
    }
    void ReleaseHeapPayload() noexcept;  // the payload and everything below it; leaves the value empty

    union Payload {
        bool boolean;
        std::int64_t signedValue;
        std::uint64_t unsignedValue;
        double number;
        void* heap;  // string entry, blob, enum cell, element vector, member map
    } payload_;
    BindingValueArena* arena_;
    BindingValueKind kind_;
    bool ownsArena_;
};

template <class F>
void BindingValue::ForEachMember(F&& visit) const {
    VisitMembers([](void* context, std::string_view key,
                    BindingValue& value) { (*static_cast<F*>(context))(key, static_cast<const BindingValue&>(value)); },
                 &visit);
}
template <class F>
void BindingValue::ForEachMember(F&& visit) {
    VisitMembers(
        [](void* context, std::string_view key, BindingValue& value) { (*static_cast<F*>(context))(key, value); },
        &visit);
}

// Value-or-error. A fresh result is ok and empty. SetError makes the value a
// structure with the single member "error" holding the message and clears ok.
// The first error wins: SetError on a failed result is a caller's bug, caught
// by an assertion in debug builds.
class BindingResult {
public:
    BindingResult() = default;

    bool IsOk() const { return ok_; }
    void SetError(std::string_view message);
    // "" when ok; otherwise the "error" member's string ("" when not a string).
    std::string ErrorText() const;

    BindingValue& Value() { return value_; }
    const BindingValue& Value() const { return value_; }
    // Moves the value out (MoveFrom semantics) into `target`.
    void TakeValue(BindingValue& target) { target.MoveFrom(value_); }

private:
    BindingValue value_;
    bool ok_ = true;
};

}  // namespace hpk
