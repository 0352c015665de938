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

namespace hpk {

// Event handler for the tokenizer. Each callback returns true (keep reading);
// the builder itself has no reason to stop. Integers keep their sign: the
// tokenizer reports negative values through Int/Int64 only, so "-0" is signed.
class JsonValueBuilder {
public:
    // `root` is borrowed and must outlive the builder; it is filled in place.
    // Opening a container deeper than `maxDepth` stops the reading (see
    // StoppedTooDeep): the tokenizer's recursive mode uses the stack per level.
    explicit JsonValueBuilder(BindingValue& root, std::size_t maxDepth = static_cast<std::size_t>(-1))
        : target_(&root), maxDepth_(maxDepth) {}

    bool StoppedTooDeep() const { return stoppedTooDeep_; }

    bool Null() {
        NextSlot();  // a null element is an empty element; a null member stays as it is
        return true;
    }
    bool Bool(bool value) {
        NextSlot().SetBool(value);
        return true;
    }
    bool Int(int value) {
        NextSlot().SetSigned(value);
        return true;
    }
    bool Uint(unsigned value) {
        NextSlot().SetUnsigned(value);
        return true;
    }
    bool Int64(std::int64_t value) {
        NextSlot().SetSigned(value);
        return true;
    }
    bool Uint64(std::uint64_t value) {
        NextSlot().SetUnsigned(value);
        return true;
    }
    bool Double(double value) {
        NextSlot().SetFloat(value);
        return true;
    }
    // Only sent when numbers are read as text, which the reader never asks for.
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        NextSlot().SetString(std::string_view(text, length));
        return true;
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        NextSlot().SetString(std::string_view(text, length));
        return true;
    }
    bool StartObject() {
        if (open_.Size() >= maxDepth_) return StopTooDeep();
        open_.Push(&NextSlot().MakeStructure());
        return true;
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        // The innermost open container is the structure StartObject made.
        target_ = &BindingValueAccess::InsertMember(*open_.Back(), std::string_view(text, length), nullptr);
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        open_.Pop();
        return true;
    }
    bool StartArray() {
        if (open_.Size() >= maxDepth_) return StopTooDeep();
        open_.Push(&NextSlot().MakeCollection());
        return true;
    }
    bool EndArray(rapidjson::SizeType) {
        open_.Pop();
        return true;
    }

private:
    // Inside an array every value is a new element; otherwise the current target
    // (the root, or the member named by the last key).
    BindingValue& NextSlot() {
        if (open_.Size() != 0 && open_.Back()->Kind() == BindingValueKind::Collection) {
            target_ = &open_.Back()->Append();
        }
        return *target_;
    }

    bool StopTooDeep() {
        stoppedTooDeep_ = true;
        return false;
    }

    BindingValue* target_;  // borrowed: node the next value fills
    // Open containers, innermost last: the first levels inline, so a small
    // document takes nothing from the heap for them.
    class OpenStack {
    public:
        std::size_t Size() const { return size_; }
        BindingValue* Back() const { return size_ <= kInline ? inline_[size_ - 1] : more_.back(); }
        void Push(BindingValue* value) {
            if (size_ < kInline) {
                inline_[size_] = value;
            } else {
                more_.push_back(value);
            }
            ++size_;
        }
        void Pop() {
            if (size_ > kInline) more_.pop_back();
            --size_;
        }

    private:
        static constexpr std::size_t kInline = 32;
        BindingValue* inline_[kInline];
        std::vector<BindingValue*> more_;
        std::size_t size_ = 0;
    };
    OpenStack open_;  // borrowed values
    std::size_t maxDepth_;
    bool stoppedTooDeep_ = false;
};

}  // namespace hpk
