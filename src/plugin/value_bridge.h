// The runtime's uses of host values and body text, in one place: reading a
// payload or body into a BindingValue, building an outgoing payload, releasing
// one, and parsing a streamed JSON body. Owning a HostValue under construction
// is HostValueOwner's job (binding/host_value_convert.h).
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "binding/host_value_convert.h"
#include "boundary/abi/host_value.h"

namespace hpk {

class BindingTypeRegistry;

// Reads `value` (borrowed, valid for the call) into result.Value(); on failure
// the result carries the conversion message naming `path`.
void DecodeHostValue(BindingResult& result, const HostValue& value, std::string_view path);

// Builds `out` (overwritten, not released) from `value`, enumerations written
// by name through `registry` (may be null). On failure `out` is all zero and
// the message is returned.
[[nodiscard]] std::optional<std::string> EncodeHostValue(HostValue& out, const BindingValue& value,
                                                         const BindingTypeRegistry* registry);

// Frees what `value` owns and zeroes it.
void FreeHostValue(HostValue& value);

// Parses JSON text into result.Value(), or sets the reader's message.
void DecodeJsonText(BindingResult& result, const std::string& text);

}  // namespace hpk
