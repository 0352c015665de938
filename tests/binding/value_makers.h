// One-line makers of scalar values for the conversion tables.
#pragma once
#include <cstdint>

#include "binding/binding_value.h"

namespace hpk {

inline BindingValue Str(const char* text) {
    BindingValue v;
    v.SetString(text);
    return v;
}
inline BindingValue Sgn(std::int64_t n) {
    BindingValue v;
    v.SetSigned(n);
    return v;
}
inline BindingValue Uns(std::uint64_t n) {
    BindingValue v;
    v.SetUnsigned(n);
    return v;
}
inline BindingValue Flt(double n) {
    BindingValue v;
    v.SetFloat(n);
    return v;
}

}  // namespace hpk
