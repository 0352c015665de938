// The seam between the runtime's typed operations (typed watch, publishing a
// record, request parameters) and the registry's converters: one template per
// direction, instantiated for each native type a caller uses.
#pragma once
#include <string>
#include <string_view>

#include "binding/binding_convert.h"
#include "binding/binding_value.h"
#include "binding/type_registry.h"

namespace hpk {

// Reads `value` into `target` under `path`; the first error wins.
template <class T>
void ReadNative(BindingResult& result, T& target, const BindingValue& value, std::string_view path,
                const BindingTypeRegistry& registry) {
    FromValue(result, target, value, path, registry);
}

// Sets `result` to the value of `source`, or its error.
template <class T>
void WriteNative(BindingResult& result, const T& source, const BindingTypeRegistry& registry) {
    ToValue(result, source, registry);
}

// The registered name of T, or its type record's "#XXXXXXXX" name.
template <class T>
std::string NativeTypeName(const BindingTypeRegistry& registry) {
    if (const BindingStructInfo* info = registry.FindType(TypeRecordOf<T>())) return info->name;
    return TypeRecordOf<T>().name;
}

}  // namespace hpk
