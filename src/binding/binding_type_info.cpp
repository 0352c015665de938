// Enumerator lookups of a registered enumeration.
#include "binding/binding_type_info.h"

namespace hpk {

const BindingEnumeratorInfo* BindingStructInfo::EnumeratorByName(std::string_view enumeratorName) const {
    const auto it = enumerators.lower_bound(enumeratorName);
    if (it == enumerators.end() || it->first != enumeratorName) return nullptr;
    return &it->second;
}

const BindingEnumeratorInfo* BindingStructInfo::EnumeratorByValue(std::int64_t value) const {
    // Several names may share a value; the walk in name order makes the choice
    // deterministic.
    for (const auto& [name, enumerator] : enumerators) {
        if (enumerator.value == value) return &enumerator;
    }
    return nullptr;
}

}  // namespace hpk
