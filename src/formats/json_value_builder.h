// JsonValueBuilder: turns the JSON tokenizer's events into a BindingValue tree.
// Separate from json_reader.h so that only the reader sees the tokenizer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include <rapidjson/rapidjson.h>

#include "binding/binding_value.h"
#include "binding/binding_value_parts.h"
#include "binding/scratch_stack.h"

namespace hpk {

// Event handler for the tokenizer. Each callback returns true (keep reading)
// unless nesting passes the limit. Integers keep their sign: the tokenizer
// reports negative values through Int/Int64 only, so "-0" is signed.
//
// Like a document model of the tokenizer's own, the builder keeps the
// elements of every open array on a stack and moves them into an array of
// exactly their number when the array ends; members become nodes at once
// (their values are filled in place) and are ordered and linked when their
// object ends. A repeated key resolves then, as reading it in place would
// have: a later null leaves the value, objects merge, arrays concatenate,
// anything else replaces.
class JsonValueBuilder {
public:
    // `root` is borrowed, must be empty and must outlive the builder; it is
    // filled in place. Opening a container deeper than `maxDepth` stops the
    // reading (see StoppedTooDeep): the tokenizer's recursive mode uses the
    // stack per level. Running out of memory throws std::bad_alloc; the tree
    // is then fit only to be dropped with its root.
    explicit JsonValueBuilder(BindingValue& root, std::size_t maxDepth = static_cast<std::size_t>(-1))
        : root_(&root), target_(&root), maxDepth_(maxDepth) {}

    bool StoppedTooDeep() const { return stoppedTooDeep_; }

    bool Null() {
        NextSlot();  // a null element is an empty element; a null member is present and empty
        return true;
    }
    bool Bool(bool value) { return Scalar(BindingValueKind::Bool, value); }
    bool Int(int value) { return Scalar(BindingValueKind::Signed, std::int64_t{value}); }
    bool Uint(unsigned value) { return Scalar(BindingValueKind::Unsigned, std::uint64_t{value}); }
    bool Int64(std::int64_t value) { return Scalar(BindingValueKind::Signed, value); }
    bool Uint64(std::uint64_t value) { return Scalar(BindingValueKind::Unsigned, value); }
    bool Double(double value) { return Scalar(BindingValueKind::Float, value); }
    // Only sent when numbers are read as text, which the reader never asks for.
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        NextSlot().SetString(std::string_view(text, length));
        return true;
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        NextSlot().SetString(std::string_view(text, length));
        return true;
    }
    bool StartObject() { return Open(false); }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        BindingMemberNode* node = BindingValueAccess::NewMember(*arena_, std::string_view(text, length));
        const auto order = static_cast<std::uint32_t>(members_.Size() - frames_.Back().first);
        members_.Push() = PendingMember{node->key->lead, order, node};
        target_ = &node->value;
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        const Frame frame = Close();
        BindingValueAccess::LinkMembers(Container(frame), members_.Data() + frame.first,
                                        members_.Size() - frame.first, RepeatedKey::Merge, &orders_);
        members_.Truncate(frame.first);
        return true;
    }
    bool StartArray() { return Open(true); }
    bool EndArray(rapidjson::SizeType) {
        const Frame frame = Close();
        BindingValueAccess::TakeItems(Container(frame), Element(frame.first), values_.Size() - frame.first);
        values_.Truncate(frame.first);
        return true;
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

    // Inside an array every value is a new element; otherwise the current target
    // (the root, or the member named by the last key).
    BindingValue& NextSlot() {
        if (!inArray_) return *target_;
        BindingValue* element = reinterpret_cast<BindingValue*>(&values_.Push());
        BindingValueAccess::InitChild(element, arena_);
        return *element;
    }

    // A scalar element is constructed in its slot at once; elsewhere the
    // target is set (it is empty: each member is a node of its own).
    template <class T>
    bool Scalar(BindingValueKind kind, T bits) {
        if (inArray_) {
            BindingValueAccess::InitScalar(reinterpret_cast<BindingValue*>(&values_.Push()), arena_, kind, bits);
        } else {
            Set(*target_, bits);
        }
        return true;
    }
    static void Set(BindingValue& value, bool bits) { value.SetBool(bits); }
    static void Set(BindingValue& value, std::int64_t bits) { value.SetSigned(bits); }
    static void Set(BindingValue& value, std::uint64_t bits) { value.SetUnsigned(bits); }
    static void Set(BindingValue& value, double bits) { value.SetFloat(bits); }

    bool Open(bool array) {
        if (frames_.Size() >= maxDepth_) return StopTooDeep();
        if (arena_ == nullptr) arena_ = &BindingValueAccess::ArenaOf(*root_);
        BindingValue& value = NextSlot();
        BindingValueAccess::MakeContainer(value, array ? BindingValueKind::Collection : BindingValueKind::Structure);
        Frame& frame = frames_.Push();
        frame.fixed = inArray_ ? nullptr : &value;
        frame.slot = static_cast<std::uint32_t>(values_.Size() - 1);  // meaningful only when not fixed
        frame.first = static_cast<std::uint32_t>(array ? values_.Size() : members_.Size());
        frame.array = array;
        inArray_ = array;
        return true;
    }
    Frame Close() {
        const Frame frame = frames_.Pop();
        inArray_ = !frames_.Empty() && frames_.Back().array;
        return frame;
    }

    bool StopTooDeep() {
        stoppedTooDeep_ = true;
        return false;
    }

    BindingValue* root_;    // borrowed
    BindingValue* target_;  // borrowed: the value the next scalar fills outside arrays
    BindingValueArena* arena_ = nullptr;  // the root's, once a container needs it
    ScratchStack<Frame, 32> frames_;
    ScratchStack<ValueSlot, 64> values_;
    ScratchStack<PendingMember, 64> members_;
    MemberOrderCache orders_;
    std::size_t maxDepth_;
    bool inArray_ = false;
    bool stoppedTooDeep_ = false;
};

}  // namespace hpk
