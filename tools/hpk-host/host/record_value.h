// A registered record as a value, in the shape its registration gives it: the
// host's documents are built this way, so that each member list is written
// once, where the record is registered.
#pragma once
#include "binding/binding_convert.h"
#include "binding/binding_value.h"
#include "binding/type_registry.h"

namespace hpk::host {

// Empty when the conversion failed (only memory can run out for a record
// that is registered).
template <class Record>
BindingValue RecordValue(const Record& record, const BindingTypeRegistry& registry) {
    BindingResult result;
    ToValue(result, record, registry);
    BindingValue value;
    result.TakeValue(value);
    return value;
}

}  // namespace hpk::host
