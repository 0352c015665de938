// The heap parts behind a BindingValue, for the few files that walk trees
// iteratively (copy, release, host value exchange). Everything else uses the
// BindingValue interface.
#pragma once
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

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
// needs neither recursion nor memory. A short collection whose size was known
// when it was made (a reader's) has its elements in the same block, right
// after the header: `inlineCapacity` slots of them, kept with the header even
// when growth later moves the elements elsewhere.
struct BindingCollection {
    void* pendingNext;
    BindingValue* items;
    std::uint32_t size;
    std::uint32_t capacity;
    std::uint32_t inlineCapacity;
    std::uint32_t reserved;  // keeps the elements after the header 8-aligned

    BindingValue* InlineItems() { return reinterpret_cast<BindingValue*>(this + 1); }
    std::size_t BlockSize() const { return sizeof(BindingCollection) + inlineCapacity * sizeof(BindingValue); }
    bool ItemsSeparate() const { return items != nullptr && items != reinterpret_cast<const BindingValue*>(this + 1); }
};
static_assert(sizeof(BindingCollection) % 8 == 0, "inline elements stay aligned like the header");

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

// Order of two different entries of one arena whose lead bytes agree.
bool SameLeadBefore(const BindingInternEntry* a, const BindingInternEntry* b);

// A member whose node is made, and whose value may be filled, before it is
// linked into its structure: readers gather a structure's members in document
// order and order them once, when the structure is complete (LinkMembers).
struct PendingMember {
    std::uint32_t lead;   // the key's lead bytes, compared before the texts
    std::uint32_t order;  // position in its structure, which decides among repeats of one key
    BindingMemberNode* node;
};

// The member orders of the structures a reader linked lately. Records of one
// kind repeat their keys in one order, so each such order is sorted once:
// a structure whose keys are those of a remembered one, in the same order,
// takes its order from there. Keys are compared as entries of the tree's
// arena, so the cache is only valid while none of them can have been freed:
// LinkMembers forgets it all whenever it releases anything.
class MemberOrderCache {
public:
    MemberOrderCache() {
        for (Slot& slot : slots_) slot.count = 0;
    }
    void Forget() {
        for (Slot& slot : slots_) slot.count = 0;
    }

private:
    friend struct BindingValueAccess;
    static constexpr std::size_t kSlots = 16;
    static constexpr std::size_t kMaxMembers = 48;
    struct Slot {
        std::uint32_t count;
        const BindingInternEntry* keys[kMaxMembers];  // in document order
        std::uint8_t sorted[kMaxMembers];             // document positions in key order
    };
    Slot& SlotFor(const PendingMember* members, std::size_t count) {
        const auto first = reinterpret_cast<std::uintptr_t>(members[0].node->key);
        const auto last = reinterpret_cast<std::uintptr_t>(members[count - 1].node->key);
        const std::uint32_t mixed = (static_cast<std::uint32_t>(first ^ last >> 4) + count) * 0x9E3779B1u;
        return slots_[mixed >> 28];
    }
    Slot slots_[kSlots];
};

// What a later occurrence of a key already seen in one structure does.
enum class RepeatedKey : std::uint8_t {
    // A later empty value leaves the earlier one; a later structure merges its
    // members into an earlier structure, a later collection appends its
    // elements to an earlier collection; anything else replaces.
    Merge,
    // A later empty value leaves the earlier one; anything else replaces it.
    Replace,
    // As Merge, except that a later empty value replaces too: what the last
    // occurrence says wins, unless both are containers of one kind.
    MergeLastWins,
};

struct BindingValueAccess {
    // Elements that share one pool slot with their collection's header.
    static constexpr std::size_t kFirstItems =
        (BindingValueArena::kLargestPooledSize - sizeof(BindingCollection)) / sizeof(BindingValue);
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

    // Bulk assembly for readers (tree_assembly.cpp).
    // A node for `key`, interned in `arena`, holding an empty value of that
    // arena's tree; in no structure yet.
    // Inline: readers make one per member.
    static BindingMemberNode* NewMember(BindingValueArena& arena, std::string_view key) {
        return NewNode(arena, arena.InternKey(key));
    }
    // A black node unlinked, keyed by `entry` (a count of it that the node
    // takes over, or gives back when no node can be had), holding an empty
    // value of `arena`'s tree.
    static BindingMemberNode* NewNode(BindingValueArena& arena, const BindingInternEntry* entry) {
        BindingMemberNode* node;
        try {
            node = static_cast<BindingMemberNode*>(arena.Allocate(sizeof(BindingMemberNode)));
        } catch (...) {
            arena.ReleaseText(entry);
            throw;
        }
        node->left = node->right = node->parent = nullptr;
        node->key = entry;
        node->red = false;
        InitChild(&node->value, &arena);
        return node;
    }
    // Links `count` pending members (in document order, `order` counting
    // from 0) into `value`, a structure: sorted by key, repeats resolved by
    // `rule`, then built as a balanced tree in one pass. Reorders `members`.
    // `orders`, when given, remembers and supplies sorted orders.
    // Inline for the commonest structures of documents, one or two members
    // into a structure without any yet.
    static void LinkMembers(BindingValue& value, PendingMember* members, std::size_t count, RepeatedKey rule,
                            MemberOrderCache* orders = nullptr) {
        if (count - 1 < 2 && value.payload_.heap == nullptr) {
            BindingMemberNode* root = members[0].node;
            if (count == 2) {
                BindingMemberNode* other = members[1].node;
                if (other->key == root->key) return LinkManyMembers(value, members, count, rule, orders);
                const bool otherFirst = members[1].lead != members[0].lead ? members[1].lead < members[0].lead
                                                                           : SameLeadBefore(other->key, root->key);
                if (otherFirst) std::swap(root, other);
                root->right = other;  // a red leaf below a black root
                other->parent = root;
                other->red = true;
            }
            auto* structure = static_cast<BindingStructure*>(ArenaOf(value).Allocate(sizeof(BindingStructure)));
            *structure = BindingStructure{nullptr, root, static_cast<std::uint32_t>(count)};
            value.payload_.heap = structure;
            return;
        }
        LinkManyMembers(value, members, count, rule, orders);
    }
    static void LinkManyMembers(BindingValue& value, PendingMember* members, std::size_t count, RepeatedKey rule,
                                MemberOrderCache* orders);
    // `later` repeats the key of `earlier` in one structure: resolves the two
    // into `earlier` by `rule` and releases what is left of `later`.
    // Iterative: merged structures may be nested to any depth.
    static void ResolveRepeat(BindingValue& earlier, BindingValue& later, RepeatedKey rule);
    // Gives the collection `value`, which has no elements yet, room for
    // exactly `capacity` of them; the elements are then initialised in place
    // by the caller (InitChild), raising `size` one at a time.
    // Inline: readers make one per array.
    static BindingCollection* StartItems(BindingValue& value, std::size_t capacity) {
        const std::size_t together = sizeof(BindingCollection) + capacity * sizeof(BindingValue);
        if (capacity <= (BindingValueArena::kLargestPooledSize - sizeof(BindingCollection)) / sizeof(BindingValue)) {
            // One pool slot for both.
            const auto room = static_cast<std::uint32_t>(capacity);
            auto* collection = static_cast<BindingCollection*>(ArenaOf(value).Allocate(together));
            *collection = BindingCollection{nullptr, collection->InlineItems(), 0, room, room, 0};
            value.payload_.heap = collection;
            return collection;
        }
        return StartItemsApart(value, capacity);
    }
    // The elements in a block of their own: of a few more elements than fit
    // beside the header, they still fit a pool slot.
    static BindingCollection* StartItemsApart(BindingValue& value, std::size_t capacity);
    // One new empty element at the end of the collection `value`: in place
    // while there is room, a new collection's first ones beside its header.
    // Inline: readers call it per element.
    static BindingValue& AppendItem(BindingValue& value) {
        auto* items = static_cast<BindingCollection*>(value.payload_.heap);
        if (items == nullptr) items = StartItems(value, kFirstItems);
        if (items->size == items->capacity) items = GrowItems(value);
        BindingValue* element = &items->items[items->size++];
        InitChild(element, value.arena_);
        return *element;
    }
    // Twice the room of the full collection `value`; returns its header.
    static BindingCollection* GrowItems(BindingValue& value);
    // Moves `count` values into the collection `value`, which has no elements
    // yet, as its elements. The values are left behind as raw storage.
    // Inline: readers call it once per array.
    static void TakeItems(BindingValue& value, BindingValue* values, std::size_t count) {
        if (count == 0) return;
        BindingCollection* collection = StartItems(value, count);
        // Relocation is a field copy (values hold no pointers to themselves).
        // Most arrays are short: a few word moves beat the library call.
        if (count <= 4) {
            for (std::size_t i = 0; i < count; ++i) Relocate(&collection->items[i], values[i]);
        } else {
            std::memcpy(static_cast<void*>(collection->items), static_cast<const void*>(values),
                        count * sizeof(BindingValue));
        }
        collection->size = static_cast<std::uint32_t>(count);
    }
    // Field copy of a value to raw storage (values hold no pointers to themselves).
    static void Relocate(BindingValue* to, const BindingValue& from) noexcept {
        InitChild(to, from.arena_);
        to->payload_ = from.payload_;
        to->kind_ = from.kind_;
    }
    // Null when every structure below `value` is a sound red-black tree in
    // key order with its count right; otherwise what is wrong. For tests
    // and fuzzing: it walks the whole tree.
    static const char* ShapeProblem(const BindingValue& value);
    // Constructs in raw storage a value of `arena`'s tree holding the scalar
    // `bits` (a member of the payload union) of `kind`.
    template <class T>
    static void InitScalar(BindingValue* at, BindingValueArena* arena, BindingValueKind kind, T bits) noexcept {
        InitChild(at, arena);
        if constexpr (std::is_same<T, bool>::value) {
            at->payload_.unsignedValue = 0;
            at->payload_.boolean = bits;
        } else if constexpr (std::is_same<T, double>::value) {
            at->payload_.number = bits;
        } else if constexpr (std::is_signed<T>::value) {
            at->payload_.signedValue = bits;
        } else {
            at->payload_.unsignedValue = bits;
        }
        at->kind_ = kind;
    }
    // Makes the empty value `value` a container of `kind` without a header.
    static void MakeContainer(BindingValue& value, BindingValueKind kind) noexcept {
        value.payload_.heap = nullptr;
        value.kind_ = kind;
    }
};

}  // namespace hpk
