// The tagged value every payload crosses the host boundary in, and its map entry.
// Records only: building, reading and releasing them is binding/ code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

static_assert(sizeof(void*) == 4, "host records carry 32-bit pointers");

enum class HostValueTag : std::uint32_t {
    Null = 0,
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Double = 4,
    StringBorrowed = 5,  // zero-terminated text the receiver must not free
    StringOwned = 6,     // zero-terminated; count = length without the terminator
    BinaryBorrowed = 7,
    BinaryOwned = 8,
    Array = 9,  // data: `count` consecutive HostValue
    Map = 10,   // data: `count` consecutive HostValueEntry
};

#pragma pack(push, 1)
struct HostValueSpan {  // tags 5..10: text, bytes, elements or entries
    void* data;
    std::uint32_t count;
};
struct HostValue {
    std::uint32_t tag;  // a HostValueTag; anything above 10 is refused on input
    union {
        std::uint64_t unsignedValue;  // widest first, so HostValue{} zeroes all 12 bytes
        std::int64_t signedValue;
        double number;
        std::uint8_t boolean;  // 0 or 1
        HostValueSpan span;
    } payload;
};
struct HostValueEntry {
    const char* key;  // zero-terminated
    HostValue value;
    std::uint8_t ownsKey;  // 1: releasing the entry also frees `key`
};
#pragma pack(pop)

static_assert(sizeof(HostValueSpan) == 8 && offsetof(HostValueSpan, count) == 4);
static_assert(sizeof(HostValue) == 12 && offsetof(HostValue, payload) == 4);
static_assert(sizeof(HostValueEntry) == 17);
static_assert(offsetof(HostValueEntry, value) == 4 && offsetof(HostValueEntry, ownsKey) == 16);
static_assert(std::is_trivially_copyable_v<HostValue> && std::is_standard_layout_v<HostValueEntry>);
