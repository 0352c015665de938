// 32-bit FNV-1a, the hash of every name and identifier table of the registry.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hpk {

constexpr std::uint32_t kFnv1aOffsetBasis = 0x811c9dc5u;
constexpr std::uint32_t kFnv1aPrime = 16777619u;

constexpr std::uint32_t Fnv1a32(const void* data, std::size_t size, std::uint32_t hash = kFnv1aOffsetBasis) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= kFnv1aPrime;
    }
    return hash;
}

// Bytes of the text up to its end or its first NUL, whichever comes first.
constexpr std::uint32_t Fnv1a32(std::string_view text) {
    std::uint32_t hash = kFnv1aOffsetBasis;
    for (char c : text) {
        if (c == '\0') break;
        hash ^= static_cast<unsigned char>(c);
        hash *= kFnv1aPrime;
    }
    return hash;
}

// Hash of a 32-bit identifier's four bytes, lowest byte first.
constexpr std::uint32_t Fnv1a32(std::uint32_t identifier) {
    std::uint32_t hash = kFnv1aOffsetBasis;
    for (int i = 0; i < 4; ++i) {
        hash ^= (identifier >> (8 * i)) & 0xffu;
        hash *= kFnv1aPrime;
    }
    return hash;
}

// Hasher for the registry's unordered tables.
struct Fnv1aHasher {
    std::size_t operator()(std::string_view text) const { return Fnv1a32(text); }
    std::size_t operator()(std::uint32_t identifier) const { return Fnv1a32(identifier); }
};

}  // namespace hpk
