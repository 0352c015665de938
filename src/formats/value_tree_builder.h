// ValueTreeBuilder: turns a reader's events (containers opened and closed,
// member names, values) into a BindingValue tree. The JSON and YAML readers
// both build through it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_value.h"
#include "binding/binding_value_parts.h"
#include "binding/scratch_stack.h"

namespace hpk {

// Like a document model of a tokenizer's own, the builder keeps the elements
// of every open array on a stack and moves them into an array of exactly
// their number when the array ends; members become nodes at once (their
// values are filled in place) and are ordered and linked when their object
// ends, a repeated key resolving then by the reader's rule.
//
// The reader keeps the grammar: a key only where an object waits for one, a
// value after each key. Running out of memory throws std::bad_alloc; the
// tree is then fit only to be dropped with its root.
//
// The event methods are forced inline: readers call them once per token from
// their tokenizer's loop, and left to itself the compiler keeps some of them
// out of the JSON tokenizer's recursive parse.
class ValueTreeBuilder {
public:
    // `root` is borrowed, must be empty and must outlive the builder; it is
    // filled in place. At most `maxDepth` containers are open at once.
    ValueTreeBuilder(BindingValue& root, RepeatedKey repeats, std::size_t maxDepth)
        : root_(&root), target_(&root), maxDepth_(maxDepth), repeats_(repeats) {}

    // Open containers.
    std::size_t Depth() const { return frames_.Size(); }
    // True when the innermost open container is an object.
    bool InObject() const { return !frames_.Empty() && !frames_.Back().array; }

    // The value the next scalar fills: inside an array a new element,
    // elsewhere the root or the member named by the last key. Empty.
    [[gnu::always_inline]] BindingValue& NextValue() {
        if (!inArray_) return *target_;
        BindingValue* element = reinterpret_cast<BindingValue*>(&values_.Push());
        BindingValueAccess::InitChild(element, arena_);
        return *element;
    }
    // A scalar of `kind` holding `bits` (a member of the payload union), as
    // NextValue().Set... would store it, constructed in place inside arrays.
    template <class T>
    [[gnu::always_inline]] void Scalar(BindingValueKind kind, T bits) {
        if (inArray_) {
            BindingValueAccess::InitScalar(reinterpret_cast<BindingValue*>(&values_.Push()), arena_, kind, bits);
        } else {
            Set(*target_, bits);
        }
    }
    // The name of the next member of the innermost open object.
    [[gnu::always_inline]] void Key(std::string_view key) {
        BindingMemberNode* node = BindingValueAccess::NewMember(*arena_, key);
        const auto order = static_cast<std::uint32_t>(members_.Size() - frames_.Back().first);
        members_.Push() = PendingMember{node->key->lead, order, node};
        target_ = &node->value;
    }
    // Opens an object or array as the next value; false, and nothing opened,
    // when `maxDepth` containers are open already.
    [[gnu::always_inline]] bool Open(bool array) {
        if (frames_.Size() >= maxDepth_) return false;
        if (arena_ == nullptr) arena_ = &BindingValueAccess::ArenaOf(*root_);
        BindingValue& value = NextValue();
        BindingValueAccess::MakeContainer(value, array ? BindingValueKind::Collection : BindingValueKind::Structure);
        Frame& frame = frames_.Push();
        frame.fixed = inArray_ ? nullptr : &value;
        frame.slot = static_cast<std::uint32_t>(values_.Size() - 1);  // meaningful only when not fixed
        frame.first = static_cast<std::uint32_t>(array ? values_.Size() : members_.Size());
        frame.array = array;
        inArray_ = array;
        return true;
    }
    // Closes the innermost open container, an object.
    [[gnu::always_inline]] void CloseObject() {
        const Frame& frame = frames_.Back();  // nothing is pushed before it is dropped
        BindingValueAccess::LinkMembers(Container(frame), members_.Data() + frame.first, members_.Size() - frame.first,
                                        repeats_, &orders_);
        members_.Truncate(frame.first);
        DropFrame();
    }
    // Closes the innermost open container, an array.
    [[gnu::always_inline]] void CloseArray() {
        const Frame& frame = frames_.Back();
        BindingValueAccess::TakeItems(Container(frame), Element(frame.first), values_.Size() - frame.first);
        values_.Truncate(frame.first);
        DropFrame();
    }

private:
    // An open container: where its own value is (a fixed place, or a slot of
    // the element stack, which moves as it grows) and where its elements or
    // members start on their stack.
    struct Frame {
        BindingValue* fixed;
        std::uint32_t slot;
        std::uint32_t first;
        bool array;
    };
    // Raw room for one value on the element stack.
    struct ValueSlot {
        alignas(BindingValue) unsigned char bytes[sizeof(BindingValue)];
    };

    BindingValue* Element(std::size_t index) { return reinterpret_cast<BindingValue*>(&values_[index]); }
    BindingValue& Container(const Frame& frame) { return frame.fixed != nullptr ? *frame.fixed : *Element(frame.slot); }

    static void Set(BindingValue& value, bool bits) { value.SetBool(bits); }
    static void Set(BindingValue& value, std::int64_t bits) { value.SetSigned(bits); }
    static void Set(BindingValue& value, std::uint64_t bits) { value.SetUnsigned(bits); }
    static void Set(BindingValue& value, double bits) { value.SetFloat(bits); }

    void DropFrame() {
        frames_.Truncate(frames_.Size() - 1);
        inArray_ = !frames_.Empty() && frames_.Back().array;
    }

    BindingValue* root_;                  // borrowed
    BindingValue* target_;                // borrowed: the value the next scalar fills outside arrays
    BindingValueArena* arena_ = nullptr;  // the root's, once a container needs it
    ScratchStack<Frame, 32> frames_;
    ScratchStack<ValueSlot, 64> values_;
    ScratchStack<PendingMember, 64> members_;
    MemberOrderCache orders_;
    std::size_t maxDepth_;
    RepeatedKey repeats_;
    bool inArray_ = false;
};

}  // namespace hpk
