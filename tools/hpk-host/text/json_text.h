// JSON text of a BindingValue for the host's output: compact through the
// shared ValueToJson, or laid out over several lines for the documents the
// host prints (--json, describe, openapi).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_value.h"

namespace hpk::host {

enum class JsonLayout : std::uint8_t { Compact = 0, Pretty = 1 };

// Compact is ValueToJson's text; Pretty puts each member and element on its
// own line, indented by two spaces per level, with empty containers as {} and [].
std::string JsonText(const BindingValue& value, JsonLayout layout);

// Lays out compact JSON text as JsonText's Pretty does. The input must be
// valid JSON (as ValueToJson writes it); strings are copied untouched.
std::string IndentJson(std::string_view compact);

// `text` as a quoted, escaped JSON string.
std::string JsonQuote(std::string_view text);

}  // namespace hpk::host
