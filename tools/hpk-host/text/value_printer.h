// Text forms of a BindingValue tree for the reference host: JSON, and the typed
// listing of `hpk-host decode`. Neither recurses on the depth of the tree.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_value.h"

namespace hpk::host {

// The tree as compact JSON (UTF-8): members in the tree's order, empty as null,
// blobs as Base64 strings, enums as their numbers, floats in the shortest form
// that reads back to the same double (with ".0" added when it would otherwise
// read as an integer) and the non-finite ones as the strings "NaN", "Infinity"
// and "-Infinity". Bytes of a string that are not UTF-8 become U+FFFD.
[[nodiscard]] std::string ValueToJson(const BindingValue& value);

// `text` as a quoted JSON string, escaped as ValueToJson does.
void AppendJsonString(std::string& out, std::string_view text);

// What a quoted text shows for a byte that is not part of valid UTF-8: U+FFFD
// (as JSON must), or the byte itself as "\xNN", so that texts that differ only
// in such bytes print differently.
enum class InvalidUtf8 : std::uint8_t { Replace, AsBytes };
// `text` quoted and escaped as AppendJsonString does, but for invalid bytes.
void AppendQuoted(std::string& out, std::string_view text, InvalidUtf8 invalid);

// The typed listing does not go deeper than this: each level indents by two
// spaces, so the text of a deeper tree grows with the square of its depth.
inline constexpr std::size_t kTypedPrintMaxDepth = 1000;

// One line per node, two spaces of indentation per depth: the root without a
// label, elements as "[i] ", members as their quoted key and ": ", then the
// kind's name and, after one space, its payload (bool true/false, integers in
// decimal, floats shortest round-trip or inf/-inf/nan, strings quoted, blobs
// Base64, enums their number, containers their size as "(n)"; empty has none).
// Keys and strings are quoted as in JSON, except that a byte outside valid
// UTF-8 shows as "\xNN" (lower-case hex): the listing is not JSON, and shows
// exactly which bytes arrived. Example:
//   structure (1)
//     "a": collection (1)
//       [0] unsigned 5
// Returns false, leaving `out` unspecified, when a node lies deeper than
// kTypedPrintMaxDepth.
[[nodiscard]] bool ValueToTyped(const BindingValue& value, std::string& out);

}  // namespace hpk::host
