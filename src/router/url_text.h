// Url text functions used around routing and by the feature: percent-decoding
// and -encoding, the trailing-slash rule for path templates, and the operation
// name (an identifier) derived from a method and a path.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hpk {

// Left to right: "+" becomes a space; "%" with at least two characters after it
// becomes one byte, each character read as a hex digit with anything that is
// not one counting as 16 ((first << 4 | second) truncated to 8 bits); "%" with
// fewer than two characters after it is dropped; everything else is copied.
// Never fails: 'a%2Fb+c' -> "a/b c", '100%' -> "100", '%zz' -> "\x10".
std::string PercentDecode(std::string_view text);
// The size of PercentDecode(text), without building it.
std::size_t PercentDecodedSize(std::string_view text);

// Per byte: A-Z a-z 0-9 - . _ ~ are copied; "/" is copied, or written "%2F"
// when `encodeSlash` is set; every other byte is "%" and two upper-case hex
// digits. ('a b/c', true) -> "a%20b%2Fc".
std::string PercentEncode(std::string_view text, bool encodeSlash);

// Drops one trailing "/" from a template longer than one character, so "/"
// stays "/" and "/a/b/" becomes "/a/b".
std::string NormaliseTemplate(std::string_view pathTemplate);

// An identifier for a method and a path. With a method name (codes 1..7) the
// text starts with that name capitalised and a "/"; then, walking the text
// with a capitalise-next flag that starts set: ! + - . / _ are dropped and set
// the flag; "{" becomes "By" and sets it; "}" is dropped; any other character
// is appended, upper-cased when flagged. (GET, "/items/{id}") -> "GetItemsById";
// (0, "hpk-be-arx-content-targeting") -> "HpkBeArxContentTargeting".
std::string OperationName(std::uint32_t method, std::string_view path);

}  // namespace hpk
