// Type kind names and the process-wide identifier claims behind TypeRecordOf.
#include "binding/binding_type_record.h"

#include <cstdio>
#include <mutex>
#include <new>

#include "binding/fnv1a_hash.h"

namespace hpk {
namespace {

constexpr const char* kKindTexts[] = {
    "",      "bool",   "int8",   "uint8",  "int16", "uint16", "int32", "uint32", "int64",    "uint64",
    "float", "double", "string", "object", "blob",  "vector", "enum",  "struct", "callback", "map",
};

// Identifier -> signature of every type seen so far, so that two types whose
// signatures hash alike (or two anonymous-namespace types with one spelling in
// different files) still get distinct identifiers. Open addressing in static
// storage: the records these claims stand for live as long as the library,
// and so do the claims, without a heap block the host would see as kept
// after shutdown. A library registers a few dozen types; past the table's
// capacity an identifier is given without the check.
constexpr std::size_t kClaimSlots = 1024;
struct IdentifierClaims {
    std::mutex mutex;
    std::uint32_t identifiers[kClaimSlots] = {};
    bool used[kClaimSlots] = {};
    std::size_t count = 0;

    // False when the identifier is taken already.
    bool Claim(std::uint32_t identifier) {
        if (count >= kClaimSlots * 3 / 4) return true;
        for (std::size_t i = identifier % kClaimSlots;; i = (i + 1) % kClaimSlots) {
            if (!used[i]) {
                used[i] = true;
                identifiers[i] = identifier;
                ++count;
                return true;
            }
            if (identifiers[i] == identifier) return false;
        }
    }
};
IdentifierClaims& Claims() {
    // Never destroyed: a record may be first used during static destruction.
    alignas(IdentifierClaims) static unsigned char storage[sizeof(IdentifierClaims)];
    static IdentifierClaims* const claims = new (storage) IdentifierClaims;
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
            if (claims.Claim(identifier)) break;
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
