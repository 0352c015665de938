// The tree work behind BindingValue: member ordering, element growth, release
// and deep copy. None of it recurses: trees may be nested a million levels deep.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "binding/binding_value_parts.h"

namespace hpk {
namespace {

using Node = BindingMemberNode;

void RotateLeft(Node*& root, Node* x) {
    Node* y = x->right;
    x->right = y->left;
    if (y->left != nullptr) y->left->parent = x;
    y->parent = x->parent;
    if (x->parent == nullptr) {
        root = y;
    } else if (x == x->parent->left) {
        x->parent->left = y;
    } else {
        x->parent->right = y;
    }
    y->left = x;
    x->parent = y;
}

void RotateRight(Node*& root, Node* x) {
    Node* y = x->left;
    x->left = y->right;
    if (y->right != nullptr) y->right->parent = x;
    y->parent = x->parent;
    if (x->parent == nullptr) {
        root = y;
    } else if (x == x->parent->right) {
        x->parent->right = y;
    } else {
        x->parent->left = y;
    }
    y->right = x;
    x->parent = y;
}

// Restores the red-black invariants after `z` was attached as a red leaf.
void InsertFixup(Node*& root, Node* z) {
    while (z->parent != nullptr && z->parent->red) {
        Node* p = z->parent;
        Node* g = p->parent;  // exists: a red node is never the root
        if (p == g->left) {
            Node* uncle = g->right;
            if (uncle != nullptr && uncle->red) {
                p->red = uncle->red = false;
                g->red = true;
                z = g;
                continue;
            }
            if (z == p->right) {
                z = p;
                RotateLeft(root, z);
                p = z->parent;
            }
            p->red = false;
            g->red = true;
            RotateRight(root, g);
        } else {
            Node* uncle = g->left;
            if (uncle != nullptr && uncle->red) {
                p->red = uncle->red = false;
                g->red = true;
                z = g;
                continue;
            }
            if (z == p->left) {
                z = p;
                RotateRight(root, z);
                p = z->parent;
            }
            p->red = false;
            g->red = true;
            RotateLeft(root, g);
        }
    }
    root->red = false;
}

// Pending containers are chained through their headers; the low bit of a
// link says which kind of header it points to (headers are 4-aligned).
constexpr std::uintptr_t kStructureBit = 1;

void PushPending(void*& pending, BindingValue& value, void* heap, bool structure) {
    void** link = static_cast<void**>(heap);  // pendingNext is the first field of both headers
    *link = pending;
    pending = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(heap) | (structure ? kStructureBit : 0));
}

}  // namespace

// Order of two different entries of one arena whose first four bytes agree:
// names of one record often share a longer beginning ("profile_..."), so
// the rest is compared a word at a time before any library call.
bool SameLeadBefore(const BindingInternEntry* a, const BindingInternEntry* b) {
    const std::size_t common = std::min(a->length, b->length);
    const char* x = a->Text();
    const char* y = b->Text();
    for (std::size_t at = 4; at + 4 <= common; at += 4) {
        std::uint32_t p;
        std::uint32_t q;
        std::memcpy(&p, x + at, sizeof p);
        std::memcpy(&q, y + at, sizeof q);
        if (p != q) return __builtin_bswap32(p) < __builtin_bswap32(q);  // first byte most significant
    }
    return CompareKeys(a->View(), b->View()) < 0;
}

int CompareKeys(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    if (common != 0) {
        // Member names mostly differ in their first byte: no library call then.
        const auto first = static_cast<unsigned char>(a[0]);
        const auto other = static_cast<unsigned char>(b[0]);
        if (first != other) return first < other ? -1 : 1;
        const int order = std::memcmp(a.data(), b.data(), common);  // compares as unsigned char
        if (order != 0) return order;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

const BindingMemberNode* BindingValueAccess::FirstMember(const BindingValue& value) {
    const BindingStructure* structure = Structure(value);
    const Node* node = structure == nullptr ? nullptr : structure->root;
    if (node == nullptr) return nullptr;
    while (node->left != nullptr) node = node->left;
    return node;
}

const BindingMemberNode* BindingValueAccess::NextMember(const BindingMemberNode* node) {
    if (node->right != nullptr) {
        node = node->right;
        while (node->left != nullptr) node = node->left;
        return node;
    }
    const Node* parent = node->parent;
    while (parent != nullptr && node == parent->right) {
        node = parent;
        parent = parent->parent;
    }
    return parent;
}

void BindingValueAccess::ReleasePayload(BindingValue& value) noexcept {
    BindingValueArena* arena = value.arena_;
    void* pending = nullptr;
    // Releases one value's own part; containers are queued, not descended into.
    auto releaseOne = [&](BindingValue& v) {
        void* heap = v.payload_.heap;
        switch (v.kind_) {
            case BindingValueKind::String:
                // An empty string refers to the shared static entry and may
                // live in a tree that never needed an arena.
                if (arena != nullptr) arena->ReleaseText(static_cast<const BindingInternEntry*>(heap));
                break;
            case BindingValueKind::Blob:
                arena->Release(heap, sizeof(BindingBlob) + static_cast<BindingBlob*>(heap)->size);
                break;
            case BindingValueKind::Enum: arena->Release(heap, sizeof(BindingEnumCell)); break;
            case BindingValueKind::Collection:
                if (heap != nullptr) PushPending(pending, v, heap, false);
                break;
            case BindingValueKind::Structure:
                if (heap != nullptr) PushPending(pending, v, heap, true);
                break;
            default: break;
        }
        v.kind_ = BindingValueKind::Empty;
        v.payload_.unsignedValue = 0;
    };
    releaseOne(value);
    while (pending != nullptr) {
        const auto tagged = reinterpret_cast<std::uintptr_t>(pending);
        void* heap = reinterpret_cast<void*>(tagged & ~kStructureBit);
        pending = *static_cast<void**>(heap);
        if ((tagged & kStructureBit) == 0) {
            auto* collection = static_cast<BindingCollection*>(heap);
            for (std::uint32_t i = 0; i < collection->size; ++i) releaseOne(collection->items[i]);
            if (collection->ItemsSeparate()) {
                arena->Release(collection->items, collection->capacity * sizeof(BindingValue));
            }
            arena->Release(collection, collection->BlockSize());
            continue;
        }
        // Post-order through the parent links: free leaves, climbing back up.
        auto* structure = static_cast<BindingStructure*>(heap);
        Node* node = structure->root;
        while (node != nullptr) {
            if (node->left != nullptr) {
                node = node->left;
            } else if (node->right != nullptr) {
                node = node->right;
            } else {
                Node* parent = node->parent;
                if (parent != nullptr) (parent->left == node ? parent->left : parent->right) = nullptr;
                releaseOne(node->value);
                arena->ReleaseText(node->key);
                arena->Release(node, sizeof(Node));
                node = parent;
            }
        }
        arena->Release(structure, sizeof(BindingStructure));
    }
}

void BindingValueAccess::ReserveItems(BindingValue& value, std::size_t capacity) {
    auto* collection = static_cast<BindingCollection*>(value.payload_.heap);
    if (collection != nullptr && collection->capacity >= capacity) return;
    if (capacity > 0x7FFFFFFu) throw std::bad_alloc();  // beyond what a 32-bit process can hold
    BindingValueArena& arena = ArenaOf(value);
    if (collection == nullptr) {
        if (capacity == 0) return;
        collection = static_cast<BindingCollection*>(arena.Allocate(sizeof(BindingCollection)));
        *collection = BindingCollection{nullptr, nullptr, 0, 0, 0, 0};
        value.payload_.heap = collection;
    }
    auto* items = static_cast<BindingValue*>(arena.Allocate(capacity * sizeof(BindingValue)));
    // Values hold no pointers to themselves, so relocating one is a field copy.
    for (std::uint32_t i = 0; i < collection->size; ++i) {
        BindingValue& from = collection->items[i];
        InitChild(&items[i], from.arena_);
        items[i].payload_ = from.payload_;
        items[i].kind_ = from.kind_;
    }
    // A fresh collection has nothing to give back, and inline elements stay with the header.
    if (collection->ItemsSeparate()) arena.Release(collection->items, collection->capacity * sizeof(BindingValue));
    collection->items = items;
    collection->capacity = static_cast<std::uint32_t>(capacity);
}

BindingCollection* BindingValueAccess::GrowItems(BindingValue& value) {
    const std::size_t capacity = static_cast<BindingCollection*>(value.payload_.heap)->capacity;
    if (capacity >= 0x7FFFFFFu) throw std::bad_alloc();  // more elements than a 32-bit process can hold
    ReserveItems(value, std::max<std::size_t>(capacity * 2, 4));
    return static_cast<BindingCollection*>(value.payload_.heap);
}

void BindingValueAccess::GrowTo(BindingValue& value, std::size_t size) {
    // The first few elements share one pool slot with the header: one part
    // to take instead of two, and most collections stay that short.
    auto* collection = static_cast<BindingCollection*>(value.payload_.heap);
    if (collection == nullptr && size <= kFirstItems) {
        collection = StartItems(value, kFirstItems);
    } else {
        const std::size_t capacity = collection == nullptr ? 0 : collection->capacity;
        if (size > capacity) ReserveItems(value, std::max<std::size_t>({size, capacity * 2, 4}));
        collection = static_cast<BindingCollection*>(value.payload_.heap);
    }
    while (collection->size < size) InitChild(&collection->items[collection->size++], value.arena_);
}

BindingMemberNode* BindingValueAccess::FindMember(const BindingValue& value, std::string_view key) {
    const BindingStructure* structure = Structure(value);
    Node* node = structure == nullptr ? nullptr : structure->root;
    while (node != nullptr) {
        const int order = CompareKeys(key, node->key->View());
        if (order == 0) return node;
        node = order < 0 ? node->left : node->right;
    }
    return nullptr;
}

BindingValue& BindingValueAccess::InsertMember(BindingValue& value, std::string_view key,
                                               const BindingInternEntry* interned) {
    BindingValueArena& arena = ArenaOf(value);
    auto* structure = static_cast<BindingStructure*>(value.payload_.heap);
    if (structure == nullptr) {
        structure = static_cast<BindingStructure*>(arena.Allocate(sizeof(BindingStructure)));
        *structure = BindingStructure{nullptr, nullptr, 0};
        value.payload_.heap = structure;
    }
    // Interned first: keys of one tree are entries of its arena, so an equal
    // key is the same entry, and the lead bytes order most pairs without
    // reading the texts.
    const BindingInternEntry* entry = interned != nullptr ? arena.Intern(interned) : arena.InternKey(key);
    const std::uint32_t lead = entry->lead;
    Node* parent = nullptr;
    Node** link = &structure->root;
    while (*link != nullptr) {
        parent = *link;
        const BindingInternEntry* other = parent->key;
        bool before;
        if (lead != other->lead) {
            before = lead < other->lead;
        } else if (other == entry) {  // the same text: the member exists
            arena.ReleaseText(entry);
            return parent->value;
        } else {
            before = SameLeadBefore(entry, other);
        }
        link = before ? &parent->left : &parent->right;
    }
    Node* node = NewNode(arena, entry);
    node->parent = parent;
    node->red = true;
    *link = node;
    ++structure->count;
    InsertFixup(structure->root, node);
    return node->value;
}

void BindingValueAccess::CopyTree(BindingValue& target, const BindingValue& source) {
    // Containers wait here until their parent slot exists; each slot's address
    // stays put because element arrays are sized once and member nodes never move.
    std::vector<std::pair<const BindingValue*, BindingValue*>> pending;
    auto copyOne = [&pending](BindingValue& to, const BindingValue& from) {
        switch (from.kind_) {
            case BindingValueKind::String:
                to.payload_.heap = const_cast<BindingInternEntry*>(ArenaOf(to).Intern(Text(from)));
                break;
            case BindingValueKind::Blob: {
                const BindingBlob* blob = Blob(from);
                auto* copy = static_cast<BindingBlob*>(ArenaOf(to).Allocate(sizeof(BindingBlob) + blob->size));
                copy->size = blob->size;
                if (blob->size != 0) std::memcpy(copy->Bytes(), blob->Bytes(), blob->size);
                to.payload_.heap = copy;
                break;
            }
            case BindingValueKind::Enum: {
                void* cell = ArenaOf(to).Allocate(sizeof(BindingEnumCell));
                *static_cast<BindingEnumCell*>(cell) = *static_cast<const BindingEnumCell*>(from.payload_.heap);
                to.payload_.heap = cell;
                break;
            }
            case BindingValueKind::Collection:
            case BindingValueKind::Structure:
                to.payload_.heap = nullptr;
                if (from.payload_.heap != nullptr) pending.emplace_back(&from, &to);
                break;
            default: to.payload_ = from.payload_; break;
        }
        to.kind_ = from.kind_;
    };
    copyOne(target, source);
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        if (const BindingCollection* items = Collection(*from)) {
            if (items->size == 0) continue;  // an empty collection needs no header
            // Sized once, like a reader's: short ones share the header's slot.
            BindingCollection* built = StartItems(*to, items->size);
            for (std::uint32_t i = 0; i < items->size; ++i) {
                InitChild(&built->items[i], to->arena_);
                ++built->size;
                copyOne(built->items[i], items->items[i]);
            }
            continue;
        }
        for (const Node* node = FirstMember(*from); node != nullptr; node = NextMember(node)) {
            copyOne(InsertMember(*to, node->key->View(), node->key), node->value);
        }
    }
}

}  // namespace hpk
