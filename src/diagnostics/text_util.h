// Small text functions shared across the framework: splitting and joining,
// replacement, ASCII lower-casing and Base64 for the text form of blobs.
// Percent-encoding of url text lives with the router, not here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hpk {

// Cuts `text` at every occurrence of `delimiter`, left to right. Empty pieces
// are kept: "a&&b" split at "&" gives "a", "", "b"; "a&" gives "a", "".
// An empty delimiter cannot cut anything: the result is the whole text as one piece.
[[nodiscard]] std::vector<std::string> Split(std::string_view text, std::string_view delimiter);

// Joins at most `count` pieces starting at index `first`, with `separator`
// between neighbours. Empty when `first` is past the end or `count` is 0.
[[nodiscard]] std::string Join(const std::vector<std::string>& pieces, std::string_view separator, std::size_t first,
                               std::size_t count);

// Replaces every non-overlapping occurrence of `pattern`, searching left to right
// from the end of the previous replacement, so a replacement that contains the
// pattern is never rescanned. An empty text or pattern, or a pattern equal to
// the replacement, returns the text unchanged.
[[nodiscard]] std::string ReplaceAll(std::string_view text, std::string_view pattern, std::string_view replacement);

// "A".."Z" turned into "a".."z" (and back); every other byte, including those
// of UTF-8 sequences, stays as it is. No locale is consulted.
[[nodiscard]] inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
[[nodiscard]] inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Copy with every byte passed through LowerAscii.
[[nodiscard]] std::string ToLowerAscii(std::string_view text);

// Standard Base64 with "=" padding and no line breaks. `data` may be null when
// `size` is 0; an empty input gives an empty text.
[[nodiscard]] std::string Base64Encode(const std::uint8_t* data, std::size_t size);

}  // namespace hpk
