// JsonValueBuilder: the JSON tokenizer's handler, building through
// ValueTreeBuilder. Separate from json_reader.h so that only the reader sees
// the tokenizer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <rapidjson/rapidjson.h>

#include "binding/binding_value.h"
#include "binding/binding_value_parts.h"
#include "formats/value_tree_builder.h"

namespace hpk {

// Handler for the JSON tokenizer. Each callback returns true (keep reading)
// unless nesting passes the limit. Integers keep their sign: the tokenizer
// reports negative values through Int/Int64 only, so "-0" is signed. A
// repeated key resolves as reading it in place would have: a later null
// leaves the value, objects merge, arrays concatenate, anything else
// replaces.
class JsonValueBuilder {
public:
    // `root` as for ValueTreeBuilder. Opening a container deeper than
    // `maxDepth` stops the reading (see StoppedTooDeep): the tokenizer's
    // recursive mode uses the stack per level.
    explicit JsonValueBuilder(BindingValue& root, std::size_t maxDepth = static_cast<std::size_t>(-1))
        : tree_(root, RepeatedKey::Merge, maxDepth) {}

    bool StoppedTooDeep() const { return stoppedTooDeep_; }

    bool Null() {
        tree_.NextValue();  // a null element is an empty element; a null member is present and empty
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
        tree_.NextValue().SetString(std::string_view(text, length));
        return true;
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        tree_.NextValue().SetString(std::string_view(text, length));
        return true;
    }
    bool StartObject() { return Open(false); }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        tree_.Key(std::string_view(text, length));
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        tree_.CloseObject();
        return true;
    }
    bool StartArray() { return Open(true); }
    bool EndArray(rapidjson::SizeType) {
        tree_.CloseArray();
        return true;
    }

private:
    template <class T>
    bool Scalar(BindingValueKind kind, T bits) {
        tree_.Scalar(kind, bits);
        return true;
    }
    bool Open(bool array) {
        if (tree_.Open(array)) return true;
        stoppedTooDeep_ = true;
        return false;
    }

    ValueTreeBuilder tree_;
    bool stoppedTooDeep_ = false;
};

}  // namespace hpk
