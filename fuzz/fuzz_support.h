// Shared by the fuzz targets: reading a recipe out of the input bytes, building
// the HostValue tree a host could send from it, and comparing value trees
// without recursing on their depth.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "boundary/abi/host_value.h"

namespace hpk::fuzz {

// Consumes the input front to back. Past the end every read gives zeros, so a
// recipe always finishes, whatever was cut off.
class FuzzBytes {
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return next_ >= size_; }
    std::uint8_t Byte() { return next_ < size_ ? data_[next_++] : 0; }
    std::uint16_t U16();
    std::uint32_t U32();
    std::uint64_t U64();
    // A length byte, then that many bytes (fewer when the input ends).
    std::string Text();
    // `count` bytes, or what is left.
    std::string Take(std::size_t count);
    // Everything not read yet; nothing is left afterwards.
    std::string Rest();

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
};

// A HostValue tree built the way a host builds one: element and entry arrays,
// owned texts, bytes and keys from the counting allocator; borrowed texts,
// bytes and keys pointing into this object. Destruction releases the tree
// through ReleaseHostValue, as the host would after the call.
//
// Recipe, one operation byte per value (the operation is the byte modulo 14):
//   0 null | 1 bool from the next byte, as sent (any of 256) | 2 signed, 8 bytes
//   3 unsigned, 8 bytes | 4 double, 8 bytes | 5 borrowed text | 6 owned text
//   7 borrowed bytes | 8 owned bytes   (texts and bytes: a flags byte, then
//     a length byte and the bytes; flag 1 sends a count that lies)
//   9 array: a count byte, then the elements
//   10 map: a count byte, then per entry a key byte (k % 8: 0 repeats an
//     earlier key, 7 sends a null key, bit 3 owns the key) and a key text,
//     then the value
//   11 a tag above 10: four bytes, or'ed into 11 and up
//   12 a chain of one-element arrays or maps (two bytes of depth, up to
//     kMaxChain), whose innermost value is the next operation
//   13 a text, bytes, array or map tag with a null pointer and a count
class HostValueRecipe {
public:
    static constexpr std::uint32_t kMaxChain = 2000;

    explicit HostValueRecipe(FuzzBytes& bytes);
    ~HostValueRecipe();
    HostValueRecipe(const HostValueRecipe&) = delete;
    HostValueRecipe& operator=(const HostValueRecipe&) = delete;

    const HostValue& Root() const { return root_; }
    // Nodes built, containers included.
    std::size_t NodeCount() const { return nodes_; }
    // Whether a tag above 10 was sent where a reader will meet it.
    bool HasInvalidTag() const { return invalidTags_ != 0; }

private:
    const char* Keep(std::string text);

    HostValue root_{};
    std::deque<std::string> borrowed_;  // stable addresses for borrowed texts, bytes and keys
    std::vector<const char*> keys_;     // keys sent so far (borrowed or owned copies' originals)
    std::size_t nodes_ = 0;
    std::size_t invalidTags_ = 0;
};

// True when both trees have the same kinds, payloads and shape (floats compare
// bit for bit, enumerations by number and type). Uses an explicit stack.
bool SameTree(const BindingValue& a, const BindingValue& b);

}  // namespace hpk::fuzz
