// Bulk assembly of trees for the readers: collections sized once, and members
// gathered in document order, then sorted and linked as a balanced tree when
// their structure is complete. Inserting members one by one would walk and
// rebalance the tree for every member; a reader knows when a structure ends.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "binding/binding_value_parts.h"

namespace hpk {
namespace {

using Node = BindingMemberNode;

// Key order, then document order among repeats of one key (an equal key of
// one arena is the same entry).
struct PendingBefore {
    bool operator()(const PendingMember& a, const PendingMember& b) const {
        if (a.lead != b.lead) return a.lead < b.lead;
        const BindingInternEntry* x = a.node->key;
        const BindingInternEntry* y = b.node->key;
        if (x != y) return SameLeadBefore(x, y);
        return a.order < b.order;
    }
};

void SortPending(PendingMember* members, std::size_t count) {
    const PendingBefore before;
    // Members often arrive sorted already (documents written from a sorted
    // map, records written field by field in name order): one pass tells.
    std::size_t sortedUpTo = 1;
    while (sortedUpTo < count && !before(members[sortedUpTo], members[sortedUpTo - 1])) ++sortedUpTo;
    if (sortedUpTo == count) return;
    if (count <= 16) {
        for (std::size_t i = sortedUpTo; i < count; ++i) {
            const PendingMember item = members[i];
            std::size_t j = i;
            for (; j > 0 && before(item, members[j - 1]); --j) members[j] = members[j - 1];
            members[j] = item;
        }
        return;
    }
    std::sort(members, members + count, before);
}

// The subtree of the sorted, distinct `members`: the middle one at the top,
// so the depths of any two leaves differ by at most one. Nodes on the one
// level that may be incomplete (`redDepth`) are red, all others black: every
// path then has the same number of black nodes and no red node has a child.
Node* BuildBalanced(PendingMember* members, std::size_t count, Node* parent, unsigned depth, unsigned redDepth) {
    Node* node;
    switch (count) {
        case 0: return nullptr;
        case 1:  // most members end up as leaves: no calls for them
            node = members[0].node;
            node->left = node->right = nullptr;
            break;
        case 2:
            node = members[0].node;
            node->left = nullptr;
            node->right = BuildBalanced(members + 1, 1, node, depth + 1, redDepth);
            break;
        case 3:
            node = members[1].node;
            node->left = BuildBalanced(members, 1, node, depth + 1, redDepth);
            node->right = BuildBalanced(members + 2, 1, node, depth + 1, redDepth);
            break;
        default: {
            const std::size_t middle = (count - 1) / 2;
            node = members[middle].node;
            node->left = BuildBalanced(members, middle, node, depth + 1, redDepth);
            node->right = BuildBalanced(members + middle + 1, count - middle - 1, node, depth + 1, redDepth);
        }
    }
    node->parent = parent;
    node->red = depth == redDepth;
    return node;
}

}  // namespace

void BindingValueAccess::ResolveRepeat(BindingValue& earlier, BindingValue& later, RepeatedKey rule) {
    std::vector<std::pair<BindingValue*, BindingValue*>> work{{&earlier, &later}};
    while (!work.empty()) {
        const auto [to, from] = work.back();
        work.pop_back();
        if (from->kind_ == BindingValueKind::Empty && rule != RepeatedKey::MergeLastWins) continue;
        const bool container =
            from->kind_ == BindingValueKind::Structure || from->kind_ == BindingValueKind::Collection;
        if (rule != RepeatedKey::Replace && container && to->kind_ == from->kind_) {
            if (from->payload_.heap == nullptr) continue;  // nothing to add
            if (from->kind_ == BindingValueKind::Structure) {
                // Each member merges into the member of that key; the emptied
                // members go with `later` at the end.
                for (const Node* node = FirstMember(*from); node != nullptr; node = NextMember(node)) {
                    work.emplace_back(&InsertMember(*to, node->key->View(), node->key),
                                      const_cast<BindingValue*>(&node->value));
                }
                continue;
            }
            if (from->kind_ == BindingValueKind::Collection) {
                auto* moved = static_cast<BindingCollection*>(from->payload_.heap);
                const auto* kept = static_cast<const BindingCollection*>(to->payload_.heap);
                const std::size_t size = kept == nullptr ? 0 : kept->size;
                ReserveItems(*to, size + moved->size);
                auto* items = static_cast<BindingCollection*>(to->payload_.heap);
                for (std::uint32_t i = 0; i < moved->size; ++i) Relocate(&items->items[items->size++], moved->items[i]);
                moved->size = 0;
            }
            continue;
        }
        ReleasePayload(*to);
        to->payload_ = from->payload_;
        to->kind_ = from->kind_;
        from->kind_ = BindingValueKind::Empty;
        from->payload_.unsignedValue = 0;
    }
    ReleasePayload(later);
}

void BindingValueAccess::LinkManyMembers(BindingValue& value, PendingMember* members, std::size_t count,
                                         RepeatedKey rule, MemberOrderCache* orders) {
    if (count == 0) return;
    BindingValueArena& arena = ArenaOf(value);
    auto* structure = static_cast<BindingStructure*>(value.payload_.heap);
    if (structure != nullptr && structure->root != nullptr) {
        // Members already there: each pending one joins them as a repeat would.
        if (orders != nullptr) orders->Forget();  // releasing may free remembered entries
        for (std::size_t i = 0; i < count; ++i) {
            Node* node = members[i].node;
            ResolveRepeat(InsertMember(value, node->key->View(), node->key), node->value, rule);
            arena.ReleaseText(node->key);
            arena.Release(node, sizeof(Node));
        }
        return;
    }
    PendingMember ordered[MemberOrderCache::kMaxMembers];
    MemberOrderCache::Slot* slot = nullptr;
    if (orders != nullptr && count >= 3 && count <= MemberOrderCache::kMaxMembers) {
        slot = &orders->SlotFor(members, count);
        std::size_t same = 0;
        if (slot->count == count) {
            while (same < count && slot->keys[same] == members[same].node->key) ++same;
        }
        if (same == count) {
            for (std::size_t i = 0; i < count; ++i) ordered[i] = members[slot->sorted[i]];
            members = ordered;
            slot = nullptr;  // remembered already, and without repeats
        } else {
            SortPending(members, count);
        }
    } else {
        SortPending(members, count);
    }
    // Repeats of one key are adjacent now, in document order: each folds
    // into the first of its run, whose node stays. Equal keys have equal
    // leads, so most neighbours are told apart without reading their nodes.
    std::size_t distinct = 1;
    while (distinct < count &&
           (members[distinct].lead != members[distinct - 1].lead ||
            members[distinct].node->key != members[distinct - 1].node->key)) {
        ++distinct;
    }
    for (std::size_t i = distinct; i < count; ++i) {
        if (distinct != 0 && members[distinct - 1].node->key == members[i].node->key) {
            Node* repeat = members[i].node;
            // Releasing may free entries the cache compares by address.
            if (orders != nullptr) orders->Forget();
            slot = nullptr;
            ResolveRepeat(members[distinct - 1].node->value, repeat->value, rule);
            arena.ReleaseText(repeat->key);
            arena.Release(repeat, sizeof(Node));
            continue;
        }
        members[distinct++] = members[i];
    }
    if (slot != nullptr) {
        slot->count = static_cast<std::uint32_t>(count);
        for (std::size_t i = 0; i < count; ++i) {
            slot->keys[members[i].order] = members[i].node->key;
            slot->sorted[i] = static_cast<std::uint8_t>(members[i].order);
        }
    }
    if (structure == nullptr) {
        structure = static_cast<BindingStructure*>(arena.Allocate(sizeof(BindingStructure)));
        *structure = BindingStructure{nullptr, nullptr, 0};
        value.payload_.heap = structure;
    }
    const auto redDepth = static_cast<unsigned>(31 - __builtin_clz(static_cast<unsigned>(distinct + 1)));
    structure->root = BuildBalanced(members, distinct, nullptr, 0, redDepth);
    structure->count = static_cast<std::uint32_t>(distinct);
}

BindingCollection* BindingValueAccess::StartItemsApart(BindingValue& value, std::size_t capacity) {
    if (capacity > 0x7FFFFFFu) throw std::bad_alloc();  // beyond what a 32-bit process can hold
    BindingValueArena& arena = ArenaOf(value);
    auto* collection = static_cast<BindingCollection*>(arena.Allocate(sizeof(BindingCollection)));
    *collection = BindingCollection{nullptr, nullptr, 0, 0, 0, 0};
    value.payload_.heap = collection;  // an empty collection, should the elements fail
    collection->items = static_cast<BindingValue*>(arena.Allocate(capacity * sizeof(BindingValue)));
    collection->capacity = static_cast<std::uint32_t>(capacity);
    return collection;
}

namespace {

// The checks of one structure's tree; pushes its member values on `pending`.
const char* StructureProblem(const BindingStructure& structure, std::vector<const BindingValue*>& pending) {
    const Node* root = structure.root;
    if (root == nullptr) return structure.count == 0 ? nullptr : "a structure without members counts some";
    if (root->parent != nullptr) return "a root has a parent";
    if (root->red) return "a root is red";
    std::size_t count = 0;
    int blackHeight = -1;
    const Node* previous = nullptr;
    // In order, without a stack: through the parent links.
    const Node* node = root;
    while (node->left != nullptr) node = node->left;
    while (node != nullptr) {
        ++count;
        pending.push_back(&node->value);
        if (previous != nullptr && CompareKeys(previous->key->View(), node->key->View()) >= 0) {
            return "members out of key order";
        }
        for (const Node* child : {node->left, node->right}) {
            if (child != nullptr && child->parent != node) return "a child does not name its parent";
            if (child != nullptr && node->red && child->red) return "a red node has a red child";
        }
        if (node->left == nullptr || node->right == nullptr) {
            int blacks = 0;
            for (const Node* up = node; up != nullptr; up = up->parent) blacks += up->red ? 0 : 1;
            if (blackHeight < 0) blackHeight = blacks;
            if (blacks != blackHeight) return "paths differ in black nodes";
        }
        previous = node;
        node = BindingValueAccess::NextMember(node);
    }
    return count == structure.count ? nullptr : "a structure's count is not its number of members";
}

}  // namespace

const char* BindingValueAccess::ShapeProblem(const BindingValue& value) {
    std::vector<const BindingValue*> pending{&value};
    while (!pending.empty()) {
        const BindingValue* at = pending.back();
        pending.pop_back();
        if (const BindingCollection* items = Collection(*at)) {
            if (items->size > items->capacity) return "a collection holds more than its room";
            for (std::uint32_t i = 0; i < items->size; ++i) pending.push_back(&items->items[i]);
        } else if (const BindingStructure* structure = Structure(*at)) {
            if (const char* problem = StructureProblem(*structure, pending)) return problem;
        }
    }
    return nullptr;
}

}  // namespace hpk
