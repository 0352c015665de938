// Native type kinds, the one static record per native type (identifier and
// "#%08X" name), and BindingTypeIdentifier, the full type of a field, argument
// or result. Descriptions of registered types live in binding_type_info.h.
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>

#include "boundary/abi/host_description.h"

namespace hpk {

struct BindingStructInfo;

// The native shape of a value, with the codes the host description carries.
using BindingTypeKind = HostTypeKind;

// "bool", "int8", ... "map"; the empty string for 0 and codes above 19.
const char* TypeKindText(BindingTypeKind kind);
// True for codes 1..19.
bool IsKnownTypeKind(BindingTypeKind kind);

// One per native type, created on the first request and never destroyed.
// Identifiers are derived from the type's compiler signature, so they are the
// same in every run of one build; distinct types get distinct identifiers
// within the process (a clash is resolved when the second type is first seen).
struct BindingTypeRecord {
    std::uint32_t identifier;
    const char* name;  // points to `buffer` unless renamed
    char buffer[10];   // "#%08X" of the identifier
};

// Identifier of the reserved record (that of `void`): a description
// registered with it is found by name only, never by record. Types known to
// the host only by their name use it.
constexpr std::uint32_t kReservedTypeIdentifier = 0;

namespace detail {
// Claims a process-unique, non-reserved identifier for `signature` (the
// compiler's text for one type) and fills `record`. Called once per type.
void InitializeTypeRecord(BindingTypeRecord& record, const char* signature);
void InitializeReservedTypeRecord(BindingTypeRecord& record);

template <class T>
const char* TypeSignature() {
    return __PRETTY_FUNCTION__;
}

template <class T>
struct TypeRecordHolder {
    static const BindingTypeRecord& Get() {
        // Filled in place, exactly once even when two threads ask for it first
        // at the same time: `name` points into the record's own buffer, so a
        // record filled elsewhere and copied here would point at the copy's
        // source (whether the copy is elided is up to the compiler).
        static BindingTypeRecord record{};
        static const bool filled = (InitializeTypeRecord(record, TypeSignature<T>()), true);
        (void)filled;
        return record;
    }
};
template <>
struct TypeRecordHolder<void> {
    static const BindingTypeRecord& Get() {
        static BindingTypeRecord record{};
        static const bool filled = (InitializeReservedTypeRecord(record), true);
        (void)filled;
        return record;
    }
};
}  // namespace detail

// The unique record of native type T (cv and reference qualifiers ignored).
// The reference stays valid for the life of the process.
template <class T>
const BindingTypeRecord& TypeRecordOf() {
    return detail::TypeRecordHolder<std::remove_cv_t<std::remove_reference_t<T>>>::Get();
}

// The record whose identifier is kReservedTypeIdentifier.
inline const BindingTypeRecord& ReservedTypeRecord() { return TypeRecordOf<void>(); }

// The full type of a field, argument or result. `info` is the registered
// description of the value (enum, struct) or of its element (vector or map of
// an enum or struct); null otherwise or when the type was not registered.
struct BindingTypeIdentifier {
    BindingTypeKind kind = BindingTypeKind::None;
    BindingTypeKind elementKind = BindingTypeKind::None;  // vector and map only
    const BindingStructInfo* info = nullptr;
};

inline bool operator==(const BindingTypeIdentifier& a, const BindingTypeIdentifier& b) {
    return a.kind == b.kind && a.elementKind == b.elementKind && a.info == b.info;
}
inline bool operator!=(const BindingTypeIdentifier& a, const BindingTypeIdentifier& b) { return !(a == b); }

}  // namespace hpk
