// What `hpk-host decode` does with a payload: reads it, decodes it with the
// framework's readers, and prints the tree. Nothing of the host takes part:
// no plugin is loaded.
#pragma once
#include <cstdint>
#include <string>

#include "binding/binding_value.h"
#include "text/outcome.h"

namespace hpk::host {

enum class PayloadFormat : std::uint8_t { Json = 0, Yaml = 1, MessagePack = 2 };
enum class TreeListing : std::uint8_t { Typed = 0, Json = 1, Nothing = 2 };

// All the bytes of `file` ("-" or "": standard input), or the message to show.
Outcome<std::string> ReadPayload(const std::string& file);

// Decodes `bytes` with the reader of `format`. A MessagePack payload is one
// value with nothing after it.
[[nodiscard]] BindingResult DecodePayload(PayloadFormat format, const std::string& bytes);

// The text `listing` makes of `tree`, each line ending in "\n" (nothing for
// Nothing). The typed listing shows a string byte that is not valid UTF-8 as
// \xNN; JSON, which must be UTF-8, shows it as U+FFFD. Fails when the tree is
// nested deeper than the typed listing goes.
Outcome<std::string> ListTree(const BindingValue& tree, TreeListing listing);

}  // namespace hpk::host
