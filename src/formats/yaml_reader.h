// YAML reading: text into a BindingValue tree, one document at most. The
// framework writes no YAML.
#pragma once
#include <cstddef>
#include <cstdint>

#include "binding/binding_value.h"

namespace hpk {

// Containers nested deeper than this are refused: the YAML tokenizer's cost
// grows with the square of the flow nesting depth.
inline constexpr std::size_t kYamlMaxDepth = 1000;
// Aliases deep-copy their anchored subtree; the values copied plus the path
// steps walked for all aliases of one document may not exceed this, so a small
// document cannot ask for exponentially many copies.
inline constexpr std::uint32_t kYamlMaxAliasExpansion = 1000000;

// Reads UTF-8 YAML text (`length` bytes, borrowed for the call). Empty text is
// an ok, empty value; a second document after a non-empty first one fails.
// Scalars are typed as yaml_scalar.h says; mapping keys must be untagged (or
// str-tagged) scalars; anchors and aliases are resolved by copying; a repeated
// key reaches the same member (mappings merge, sequences concatenate, a later
// scalar replaces). Failures carry the messages of formats_messages.h with the
// line and column of the offending event.
[[nodiscard]] BindingResult ParseYaml(const char* text, std::size_t length);

// The same reading with every member inserted into its structure as it is
// read, which aliases need (ParseYaml falls back to it when it meets one).
// Every document reads the same both ways.
[[nodiscard]] BindingResult ParseYamlMemberByMember(const char* text, std::size_t length);

}  // namespace hpk
