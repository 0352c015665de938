// The runtime's readings of host values and body text, in one place: a
// payload or body into a BindingValue, and a streamed JSON body. Building an
// outgoing payload is ToHostValue's job, owning it HostValueOwner's (both in
// binding/host_value_convert.h).
#pragma once
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "binding/host_value_convert.h"
#include "boundary/abi/host_value.h"

namespace hpk {

// Reads `value` (borrowed, valid for the call) into result.Value(); on failure
// the result carries the conversion message naming `path`.
void DecodeHostValue(BindingResult& result, const HostValue& value, std::string_view path);

// Parses JSON text into result.Value(), or sets the reader's message.
void DecodeJsonText(BindingResult& result, const std::string& text);

}  // namespace hpk
