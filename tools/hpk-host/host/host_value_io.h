// The host's side of the HostValue exchange. Values the host builds are its
// own (C runtime malloc) and released with ReleaseHostValue; values the plugin
// hands over are read, checked and copied into BindingValue trees. Written
// apart from the plugin's converter so that a run checks both sides of the
// boundary. Nothing here recurses on the nesting depth of a value.
#pragma once
#include <string>

#include "binding/binding_value.h"
#include "boundary/abi/host_value.h"
#include "text/outcome.h"

namespace hpk::host {

// Fills `out` (which must hold nothing that needs releasing) from `value`:
// empty tag 0, bool 1, signed 2, unsigned 3, float 4, string 6, blob 8,
// enum 2 (its number), collection 9, structure 10 with owned keys.
// Fails when memory ran out; `out` is then released and zero.
Outcome<> BuildHostValue(HostValue& out, const BindingValue& value);

// Frees everything a BuildHostValue result owns and zeroes the record.
void ReleaseHostValue(HostValue& value);

// Copies a value the plugin handed over into a tree. Every pointer is probed
// before it is read; a record that breaks the layout (unknown tag, null data
// with a count, an owned string whose length word does not match its
// terminator) fails naming where it was found, e.g.
// "<value>.data.filters[2]: tag 11 is not a value tag".
Outcome<BindingValue> ReadHostValue(const HostValue& value);

}  // namespace hpk::host
