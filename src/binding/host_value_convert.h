// Exchange between BindingValue trees and the HostValue records that cross the
// host boundary: building (into memory the host can free with free()), reading,
// and releasing. The record layout itself lives in boundary/abi/host_value.h.
#pragma once
#include <cstdint>
#include <string_view>

#include "binding/binding_value.h"
#include "boundary/abi/host_value.h"

namespace hpk {

struct BindingTypeRecord;

// %1 path; %2 the tag's text name (always empty: such tags have none)
constexpr const char kMsgHostValueIncompatible[] =
    "Couldn't assign value to '%1' of type object because the input is of an incompatible type '%2'.";

// Names enumerators for outgoing values. The type registry implements it.
class EnumNameSource {
public:
    // The enumerator's name, or null when `type` has none with `value`. The
    // text must stay valid while the caller builds its value.
    virtual const char* EnumeratorName(const BindingTypeRecord* type, std::int32_t value) const = 0;

protected:
    virtual ~EnumNameSource() = default;
};

// Builds `target` from `value`: empty tag 0, bool 1, signed 2, unsigned 3,
// float 4, string 6 and blob 8 (copied), enum 6 with its name when `enumNames`
// (may be null) knows one else 2, collection 9, structure 10 with entries in key
// order and owned key copies. All memory comes from the counting allocation
// hooks. `target`'s previous content is overwritten, not released. Returns
// false when memory ran out; `target` is then all zero and nothing is leaked.
[[nodiscard]] bool ToHostValue(HostValue& target, const BindingValue& value, const EnumNameSource* enumNames);

// Reads `source` (borrowed, valid for this call) into result.Value(). Tags 5
// and 6 give strings (the length word is not consulted), 7 and 8 blobs, a
// repeated map key keeps its last value. A tag above 10 fails with
// kMsgHostValueIncompatible naming `path`; the partial tree is dropped. Does
// nothing when `result` has already failed. A null text, byte, element or entry
// pointer reads as empty, whatever its count says.
void HostValueToBinding(BindingResult& result, const HostValue& source, std::string_view path);

// Frees what `value` owns (owned texts and bytes, elements, owned keys, entry
// arrays) and zeroes it. Never fails; works at any depth.
void ReleaseHostValue(HostValue& value) noexcept;

// Owns a HostValue being built for the host: releases it on destruction unless
// handed over with Release().
class HostValueOwner {
public:
    HostValueOwner() = default;
    ~HostValueOwner() { ReleaseHostValue(value_); }
    HostValueOwner(const HostValueOwner&) = delete;
    HostValueOwner& operator=(const HostValueOwner&) = delete;

    HostValue& Get() { return value_; }
    const HostValue& Get() const { return value_; }
    // Hands the record over; this owner is left holding a zero record.
    [[nodiscard]] HostValue Release() {
        const HostValue handed = value_;
        value_ = HostValue{};
        return handed;
    }

private:
    HostValue value_{};
};

}  // namespace hpk
