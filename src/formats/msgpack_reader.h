// MessagePack reading: one value from a byte buffer into a BindingValue tree.
// Read-only: the framework writes no MessagePack.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "binding/binding_value_parts.h"
#include "binding/scratch_stack.h"

namespace hpk {

struct MessagePackReadResult {
    BindingResult result;
    // Offset just after the first complete value, or where reading stopped.
    // Bytes from here on were not looked at.
    std::size_t consumed = 0;
};

// Reads the first value of `data`. Iterative with an explicit stack, so nesting
// costs heap, not call stack. Fails with a message for reserved, ext and
// timestamp formats, non-string map keys and truncated fields. Input that ends
// between the items of a container is not an error: the result holds what was
// begun. A repeated map key reaches the same member and the later value replaces
// the earlier one (a nil leaves it in place). `data` is borrowed for the call.
class MessagePackReader {
public:
    MessagePackReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    [[nodiscard]] MessagePackReadResult Read();

private:
    enum class FrameKind : std::uint8_t { Collection, Structure };
    struct Frame {
        BindingValue* target;    // borrowed: a node of the tree being built
        std::uint32_t expected;  // elements, or map entries
        std::uint32_t begun;     // elements, or map entries whose key was read
        FrameKind kind;
        // A collection's header, with room for every element that can begin;
        // a structure's first member on members_.
        BindingCollection* items;
        std::uint32_t firstMember;
    };
    // Reads the items of the innermost container until it is complete, a
    // nested container opens (true: descend), the input ends or a read fails
    // (false: stop).
    bool ReadItems(Frame& frame);

    // Each returns false once result_ has failed.
    bool QuickValue(BindingValue& target);
    bool ReadValue(BindingValue& target);
    bool ReadKey(std::string_view& key);
    void OpenContainer(BindingValue& target, FrameKind container, std::uint32_t count);
    // Links the members of the structure of `frame` (the innermost) and drops the frame.
    void CloseFrame(const Frame& frame);
    bool Need(std::size_t count, const char* message);
    bool TakeLength(std::uint8_t width, std::uint32_t& length);
    void Fail(const char* message, std::size_t position);

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    BindingResult result_;
    BindingValueArena* arena_ = nullptr;  // the root's, once a container needs it
    ScratchStack<Frame, 16> stack_;
    // Members of the open structures, each linked when its structure ends.
    ScratchStack<PendingMember, 32> members_;
    MemberOrderCache orders_;
};

[[nodiscard]] MessagePackReadResult ReadMessagePack(const std::uint8_t* data, std::size_t size);
[[nodiscard]] inline MessagePackReadResult ReadMessagePack(std::string_view bytes) {
    return ReadMessagePack(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Sniffs a body without a usable content type: true when it starts with a map
// or array format byte (fixmap, fixarray, array 16/32, map 16/32).
[[nodiscard]] bool RecogniseMessagePack(const std::uint8_t* data, std::size_t size);

}  // namespace hpk
