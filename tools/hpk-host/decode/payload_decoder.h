// What `hpk-host decode` does with a payload: reads it, decodes it with the
// framework's readers, and prints the tree. Nothing of the host takes part:
// no plugin is loaded.
#pragma once
#include <cstdint>
#include <string>

#include "binding/binding_value.h"

namespace hpk::host {

enum class PayloadFormat : std::uint8_t { Json = 0, Yaml = 1, MessagePack = 2 };
enum class TreeListing : std::uint8_t { Typed = 0, Json = 1, Nothing = 2 };

// Reads all of `file` ("-" or "": standard input) into `bytes`. On failure
// `error` holds the message to show.
[[nodiscard]] bool ReadPayload(const std::string& file, std::string& bytes, std::string& error);

// Decodes `bytes` with the reader of `format`. A MessagePack payload is one
// value with nothing after it.
[[nodiscard]] BindingResult DecodePayload(PayloadFormat format, const std::string& bytes);

// The text `listing` makes of `tree`, each line ending in "\n" (nothing for
// Nothing). The typed listing shows a string byte that is not valid UTF-8 as
// \xNN; JSON, which must be UTF-8, shows it as U+FFFD. Fails, with `error`,
// when the tree is nested deeper than the typed listing goes.
[[nodiscard]] bool ListTree(const BindingValue& tree, TreeListing listing, std::string& text, std::string& error);

}  // namespace hpk::host
