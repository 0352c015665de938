// Descriptions of registered native records: structures with their fields,
// enumerations with their enumerators (one record shape serves both), and the
// per-field converter interface. Descriptions are owned by the registry
// (type_registry.h) and live until it is cleared or destroyed.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_type_record.h"
#include "binding/binding_value.h"

namespace hpk {

class BindingTypeRegistry;
struct BindingStructInfo;

// Field flags.
constexpr std::uint8_t kFieldOmitWhenEmpty = 0x01;  // to value: leave an empty member out
constexpr std::uint8_t kFieldRequired = 0x02;       // from value: a missing member is an error

// Converts one field between its native storage and a dynamic value. One is
// created per field, for the field's native type; the field owns it.
class BindingFieldConverter {
public:
    virtual ~BindingFieldConverter() = default;

    // Fills the native field at `field` from `value` (never empty here: the
    // structure walk skips empty members), or sets an error in `result`.
    // `info` is the description of the field's type (enum, struct, or vector
    // element); `options` is forwarded to nested conversions unchanged.
    virtual void FromValue(BindingResult& result, void* field, const BindingValue& value, std::string_view name,
                           const BindingStructInfo* info, const BindingTypeRegistry& registry,
                           std::uint32_t options) const = 0;
    // Writes the native field at `field` into `target`; a failure goes into
    // `status` and leaves `target` unspecified. `status` is never `target`'s
    // tree, so an error cannot pull the tree from under the walk.
    virtual void ToValue(BindingResult& status, BindingValue& target, const void* field, const BindingStructInfo* info,
                         const BindingTypeRegistry& registry) const = 0;
    // True when ToValue would produce a value that omit-when-empty leaves out
    // (see IsOmittableValue). Answered from the native field, so an omitted
    // member costs no conversion; false whenever ToValue would fail.
    virtual bool IsEmptyNative(const void* field, const BindingStructInfo* info,
                               const BindingTypeRegistry& registry) const = 0;
};

struct BindingFieldInfo {
    std::string name;
    std::uint32_t nameHash = 0;  // FNV-1a of `name`
    std::string description;
    const BindingTypeRecord* record = nullptr;  // the field's native type
    std::uint32_t offset = 0;                   // in the native record
    BindingTypeIdentifier type;
    BindingTypeIdentifier exportType;  // kind None unless given; replaces `type` for the host
    std::uint8_t flags = 0;            // kFieldOmitWhenEmpty | kFieldRequired
    std::unique_ptr<BindingFieldConverter> converter;
    const BindingStructInfo* owner = nullptr;
    bool optional = false;  // reported to the host only
};

struct BindingEnumeratorInfo {
    std::int32_t value = 0;
    std::string name;
    std::string description;
    const BindingStructInfo* owner = nullptr;
};

// A registered structure or enumeration (`BindingEnumInfo` names the same
// record). Modified only by its builder, right after registration, on the
// registering thread; read freely afterwards.
struct BindingStructInfo {
    std::uint32_t size = 0;
    bool isEnumeration = false;
    std::string name;
    std::uint32_t identifier = 0;
    const BindingTypeRecord* record = nullptr;
    std::string nameSpace;
    std::string description;
    std::vector<std::string> tags;
    std::vector<BindingFieldInfo> fields;                                   // registration order
    std::map<std::string, BindingEnumeratorInfo, std::less<>> enumerators;  // byte-wise name order
    BindingTypeRegistry* registry = nullptr;

    // Exact, case-sensitive lookup by name.
    const BindingEnumeratorInfo* EnumeratorByName(std::string_view enumeratorName) const;
    // The first enumerator in name order that has `value`; null when none.
    const BindingEnumeratorInfo* EnumeratorByValue(std::int64_t value) const;
    bool IsValidEnumValue(std::int64_t value) const { return EnumeratorByValue(value) != nullptr; }
};
using BindingEnumInfo = BindingStructInfo;

}  // namespace hpk
