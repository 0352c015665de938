// Inputs that are deep or large by construction, for the hardening tests, and
// a depth probe that walks a tree without recursing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "binding/binding_value.h"
#include "binding/host_value_convert.h"
#include "boundary/abi/host_value.h"
#include "boundary/allocation_hooks.h"

namespace hpk::hardening {

// Windows test executables get a 1 MiB stack: a million levels must cost heap only.
inline constexpr std::size_t kMillion = 1000000;

// "[[[...]]]" with `depth` arrays.
inline std::string DeepJsonArray(std::size_t depth) {
    std::string text(depth, '[');
    text.append(depth, ']');
    return text;
}

// `depth` one-element arrays (0x91) around a nil.
inline std::string DeepMessagePackArray(std::size_t depth) {
    std::string bytes(depth, '\x91');
    bytes += '\xc0';
    return bytes;
}

// A block sequence nested `depth` times on one line: "- - - ... x".
inline std::string DeepYamlBlock(std::size_t depth) {
    std::string text;
    text.reserve(depth * 2 + 2);
    for (std::size_t i = 0; i < depth; ++i) text += "- ";
    return text + "x\n";
}

// Levels below `value` following the first element or member, without recursing.
inline std::size_t FirstChildDepth(const BindingValue& value) {
    std::size_t depth = 0;
    const BindingValue* node = &value;
    while (node->Size() != 0 &&
           (node->Kind() == BindingValueKind::Collection || node->Kind() == BindingValueKind::Structure)) {
        const BindingValue* next = nullptr;
        if (node->Kind() == BindingValueKind::Collection) {
            next = &node->Element(0);
        } else {
            node->ForEachMember([&next](std::string_view, const BindingValue& member) {
                if (next == nullptr) next = &member;
            });
        }
        node = next;
        ++depth;
    }
    return depth;
}

// A HostValue chain the way a host would send it: `depth` one-entry maps
// (key "k") or one-element arrays, alternating when `mixed`, around a string.
// Released with the host's release routine on destruction.
class DeepHostValue {
public:
    explicit DeepHostValue(std::size_t depth, bool mixed = true) {
        HostValue* link = &root_;
        for (std::size_t level = 0; level < depth; ++level) {
            const bool map = mixed && level % 2 == 0;
            void* block = Allocate(map ? sizeof(HostValueEntry) : sizeof(HostValue));
            if (block == nullptr) break;
            link->tag = static_cast<std::uint32_t>(map ? HostValueTag::Map : HostValueTag::Array);
            link->payload.span.data = block;
            link->payload.span.count = 1;
            if (map) {
                auto* entry = static_cast<HostValueEntry*>(block);
                *entry = HostValueEntry{};
                entry->key = "k";
                link = &entry->value;
            } else {
                link = static_cast<HostValue*>(block);
            }
        }
        *link = HostValue{};
        link->tag = static_cast<std::uint32_t>(HostValueTag::StringBorrowed);
        link->payload.span.data = const_cast<char*>("bottom");
        link->payload.span.count = 6;
    }
    ~DeepHostValue() { ReleaseHostValue(root_); }
    DeepHostValue(const DeepHostValue&) = delete;
    DeepHostValue& operator=(const DeepHostValue&) = delete;

    const HostValue& Get() const { return root_; }

private:
    HostValue root_{};
};

}  // namespace hpk::hardening
