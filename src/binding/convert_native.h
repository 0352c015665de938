// Type-erased conversions behind the templates of binding_convert.h: strings,
// blobs, pass-through objects, registered enumerations and structures. Each
// from-value function does nothing when `result` has already failed, and
// reports with the messages of binding_messages.h using `path` as the subject.
// To-value functions write into `target` and report into `status`, which must
// not be (part of) `target`'s tree.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_type_info.h"
#include "binding/binding_value.h"

namespace hpk {

class BindingTypeRegistry;

// A string value is copied; an enum value gives its enumerator's name, looked
// up in the enumeration registered under the value's type record.
void StringFromValue(BindingResult& result, std::string& target, const BindingValue& value, std::string_view path,
                     const BindingTypeRegistry& registry);
// Only a blob value is taken (the bytes are copied).
void BlobFromValue(BindingResult& result, std::vector<std::uint8_t>& target, const BindingValue& value,
                   std::string_view path);
// Vector targets: false, with the error set, when `value` is empty or not a
// collection.
[[nodiscard]] bool CheckCollectionValue(BindingResult& result, const BindingValue& value, std::string_view path);
// Any non-empty value is deep-copied into `target`.
void ObjectFromValue(BindingResult& result, BindingValue& target, const BindingValue& value, std::string_view path);

// Registered enumeration by name, by number or by enum value. `info` may be
// null (not registered): every input is then refused, naming `record`.
// Returns true when `out` was set.
[[nodiscard]] bool EnumFromValue(BindingResult& result, std::int32_t& out, const BindingValue& value,
                                 std::string_view path, const BindingEnumInfo* info, const BindingTypeRecord& record);

// Registered structure: walks `info`'s fields in registration order, reading
// the member of each field's name into `target` + the field's offset. Members
// no field names are ignored; a missing or empty member leaves its field as it
// was, unless the field is required. `info` null: the unregistered message.
void StructFromValue(BindingResult& result, void* target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo* info, const BindingTypeRegistry& registry, std::uint32_t options);
// Writes every field of the native record at `source` as a member of
// `target`, leaving out omit-when-empty fields whose value is empty.
void StructToValue(BindingResult& status, BindingValue& target, const void* source, const BindingStructInfo* info,
                   const BindingTypeRegistry& registry);

// The omit-when-empty test on the native record: true when StructToValue
// would succeed with a structure of no members. False when `info` is null.
bool StructIsEmptyNative(const void* source, const BindingStructInfo* info, const BindingTypeRegistry& registry);

// The omit-when-empty test: empty, false, zero, an enum of value 0, or a
// string, blob, collection or structure of size 0.
bool IsOmittableValue(const BindingValue& value);

}  // namespace hpk
