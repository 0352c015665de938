// Type kind names and the process-wide identifier claims behind TypeRecordOf.
#include "binding/binding_type_record.h"

#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "binding/fnv1a_hash.h"

namespace hpk {
namespace {

constexpr const char* kKindTexts[] = {
    "",       "bool",   "int8",   "uint8",  "int16",  "uint16", "int32",  "uint32", "int64", "uint64",
    "float",  "double", "string", "object", "blob",   "vector", "enum",   "struct", "callback", "map",
};

// Identifier -> signature of every type seen so far, so that two types whose
// signatures hash alike (or two anonymous-namespace types with one spelling in
// different files) still get distinct identifiers.
struct IdentifierClaims {
    std::mutex mutex;
    std::unordered_map<std::uint32_t, const char*> owners;
};
IdentifierClaims& Claims() {
    static IdentifierClaims* claims = new IdentifierClaims;  // lives as long as the records
    return *claims;
}

void FillName(BindingTypeRecord& record) {
    std::snprintf(record.buffer, sizeof record.buffer, "#%08X", static_cast<unsigned>(record.identifier));
    record.name = record.buffer;
}

}  // namespace

const char* TypeKindText(BindingTypeKind kind) {
    const auto code = static_cast<std::uint32_t>(kind);
    return code < sizeof kKindTexts / sizeof kKindTexts[0] ? kKindTexts[code] : "";
}

bool IsKnownTypeKind(BindingTypeKind kind) {
    const auto code = static_cast<std::uint32_t>(kind);
    return code >= 1 && code <= static_cast<std::uint32_t>(kLastHostTypeKind);
}

namespace detail {

void InitializeTypeRecord(BindingTypeRecord& record, const char* signature) {
    IdentifierClaims& claims = Claims();
    std::lock_guard<std::mutex> lock(claims.mutex);
    std::uint32_t identifier = Fnv1a32(std::string_view(signature));
    for (std::uint32_t salt = 1;; ++salt) {
        if (identifier != kReservedTypeIdentifier) {
            // Each call is for a distinct record; equal signatures still mean
            // distinct types (anonymous namespaces of two files).
            if (claims.owners.emplace(identifier, signature).second) break;
        }
        identifier = Fnv1a32(&salt, sizeof salt, Fnv1a32(std::string_view(signature)));
    }
    record.identifier = identifier;
    FillName(record);
}

void InitializeReservedTypeRecord(BindingTypeRecord& record) {
    record.identifier = kReservedTypeIdentifier;
    FillName(record);
}

}  // namespace detail
}  // namespace hpk
