// JSON reading: NUL-terminated UTF-8 text into a BindingValue tree. The
// framework writes no JSON.
#pragma once

#include "binding/binding_value.h"

namespace hpk {

// Reads one JSON document. Blank text (only space, tab, line feed, carriage
// return) is an ok, empty value. Non-negative integers up to 2^64-1 become
// unsigned, negative ones down to -2^63 signed, every other number float; null
// leaves its member empty. Members come out in key order; a repeated key
// reaches the same member (objects merge, arrays concatenate, a later scalar
// replaces). Comments, trailing commas, NaN and Infinity are syntax errors. A
// failure reads "Error: <message> at offset <n>." with the tokenizer's message
// and the byte offset where it stopped; the partial tree is dropped. Nesting
// depth costs heap only. `text` is borrowed for the call.
[[nodiscard]] BindingResult ParseJson(const char* text);

}  // namespace hpk
