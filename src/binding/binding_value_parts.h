// The heap parts behind a BindingValue, for the few files that walk trees
// iteratively (copy, release, host value exchange). Everything else uses the
// BindingValue interface.
#pragma once
#include <cstdint>
#include <new>

#include "binding/binding_value.h"
#include "binding/value_arena.h"

namespace hpk {

// Blob bytes follow the header.
struct BindingBlob {
    std::uint32_t size;
    const std::uint8_t* Bytes() const { return reinterpret_cast<const std::uint8_t*>(this + 1); }
    std::uint8_t* Bytes() { return reinterpret_cast<std::uint8_t*>(this + 1); }
};

// `pendingNext` links containers waiting to be released, so releasing a tree
// needs neither recursion nor memory.
struct BindingCollection {
    void* pendingNext;
    BindingValue* items;
    std::uint32_t size;
    std::uint32_t capacity;
};

// A red-black tree ordered by unsigned byte-wise key comparison. Nodes never
// move, so a member reference stays valid while siblings are inserted.
struct BindingMemberNode {
    BindingMemberNode* left;
    BindingMemberNode* right;
    BindingMemberNode* parent;
    const BindingInternEntry* key;
    BindingValue value;
    bool red;
};

struct BindingStructure {
    void* pendingNext;
    BindingMemberNode* root;
    std::uint32_t count;
};

// Negative, zero or positive like memcmp; a prefix sorts first.
int CompareKeys(std::string_view a, std::string_view b);

struct BindingValueAccess {
    static const BindingCollection* Collection(const BindingValue& value) {
        return value.kind_ == BindingValueKind::Collection ? static_cast<const BindingCollection*>(value.payload_.heap)
                                                           : nullptr;
    }
    static const BindingStructure* Structure(const BindingValue& value) {
        return value.kind_ == BindingValueKind::Structure ? static_cast<const BindingStructure*>(value.payload_.heap)
                                                          : nullptr;
    }
    static const BindingInternEntry* Text(const BindingValue& value) {
        return static_cast<const BindingInternEntry*>(value.payload_.heap);
    }
    static const BindingBlob* Blob(const BindingValue& value) {
        return static_cast<const BindingBlob*>(value.payload_.heap);
    }
    // In-order walk without a stack: the smallest key, then each successor;
    // null past the end.
    static const BindingMemberNode* FirstMember(const BindingValue& value);
    static const BindingMemberNode* NextMember(const BindingMemberNode* node);

    // Tree operations behind the public interface (binding_value_tree.cpp).
    // The arena of the tree, created for a root on first need; throws std::bad_alloc.
    static BindingValueArena& ArenaOf(BindingValue& value) {
        if (value.arena_ == nullptr) value.arena_ = BindingValueArena::Create();  // only roots lack one
        return *value.arena_;
    }
    // Constructs an empty non-root value of `arena`'s tree in raw storage.
    static void InitChild(BindingValue* at, BindingValueArena* arena) noexcept {
        new (at) BindingValue();
        at->arena_ = arena;
        at->ownsArena_ = false;
    }
    // Releases the payload (every part below it, iteratively) and leaves the
    // value empty. Works for roots too, without resetting the arena.
    static void ReleasePayload(BindingValue& value) noexcept;
    // Deep copy of `source` into the empty `target`, which is in another tree.
    static void CopyTree(BindingValue& target, const BindingValue& source);
    // Collection capacity of at least `capacity`; `value` is a collection.
    static void ReserveItems(BindingValue& value, std::size_t capacity);
    // Appends empty elements until there are `size`; `value` is a collection.
    static void GrowTo(BindingValue& value, std::size_t size);
    static BindingMemberNode* FindMember(const BindingValue& value, std::string_view key);
    // Finds or inserts `key` into the structure `value`. `interned`, when not
    // null, is an entry holding the same text (possibly of another arena).
    static BindingValue& InsertMember(BindingValue& value, std::string_view key, const BindingInternEntry* interned);
};

}  // namespace hpk
