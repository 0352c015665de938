// Registered structure targets and sources: the field walk in both directions
// and the omit-when-empty rule.
#include "binding/binding_messages.h"
#include "binding/convert_native.h"
#include "binding/type_registry.h"
#include "diagnostics/positional_format.h"
#include "platform/thread_local.h"

namespace hpk {
namespace {

// Structures nest only as deep as their types do, unless a type holds a vector
// of itself: then the input decides the depth of this walk, which recurses.
// Far beyond any real record, far below what a 1 MiB stack allows.
constexpr int kMaxStructNesting = 64;

// Nesting depth of the walk on this thread.
HPK_THREAD_LOCAL int tStructDepth = 0;

class NestingGuard {
public:
    NestingGuard() { ++tStructDepth; }
    ~NestingGuard() { --tStructDepth; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    bool TooDeep() const { return tStructDepth > kMaxStructNesting; }
};

}  // namespace

bool IsOmittableValue(const BindingValue& value) {
    switch (value.Kind()) {
        case BindingValueKind::Empty: return true;
        case BindingValueKind::Bool: return !value.AsBool();
        case BindingValueKind::Signed: return value.AsSigned() == 0;
        case BindingValueKind::Unsigned: return value.AsUnsigned() == 0;
        case BindingValueKind::Float: return value.AsFloat() == 0.0;
        case BindingValueKind::Enum: return value.AsEnum().value == 0;
        case BindingValueKind::String:
        case BindingValueKind::Blob:
        case BindingValueKind::Collection:
        case BindingValueKind::Structure: return value.Size() == 0;
    }
    return false;
}

void StructFromValue(BindingResult& result, void* target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo* info, const BindingTypeRegistry& registry, std::uint32_t options) {
    if (!result.IsOk()) return;
    if (value.IsEmpty()) {
        result.SetError(FormatPositional(kMsgValueRequired, path));
        return;
    }
    if (info == nullptr) {
        result.SetError(FormatPositional(kMsgUnregisteredStructure, path));
        return;
    }
    if (value.Kind() != BindingValueKind::Structure) {
        result.SetError(FormatPositional(kMsgNotStructure, path, info->name));
        return;
    }
    const NestingGuard nesting;
    if (nesting.TooDeep()) {
        result.SetError(FormatPositional(kMsgNestedTooDeeply, path));
        return;
    }
    auto* base = static_cast<unsigned char*>(target);
    for (const BindingFieldInfo& field : info->fields) {
        if (!result.IsOk()) return;
        const BindingValue& member = value.Member(field.name);
        if (member.IsEmpty()) {
            if ((field.flags & kFieldRequired) != 0) {
                result.SetError(FormatPositional(kMsgMissingRequiredField, path, info->name, field.name));
                return;
            }
            continue;
        }
        if (field.converter == nullptr) continue;
        field.converter->FromValue(result, base + field.offset, member, field.name, field.type.info, registry, options);
    }
}

void StructToValue(BindingResult& status, BindingValue& target, const void* source, const BindingStructInfo* info,
                   const BindingTypeRegistry& registry) {
    if (!status.IsOk()) return;
    if (info == nullptr) {
        status.SetError(kMsgUnregisteredNative);
        return;
    }
    const NestingGuard nesting;
    if (nesting.TooDeep()) {
        status.SetError(kMsgNativeNestedTooDeeply);
        return;
    }
    target.Clear();
    target.MakeStructure();
    const auto* base = static_cast<const unsigned char*>(source);
    for (const BindingFieldInfo& field : info->fields) {
        if (field.converter == nullptr) continue;
        const void* address = base + field.offset;
        if ((field.flags & kFieldOmitWhenEmpty) != 0 &&
            field.converter->IsEmptyNative(address, field.type.info, registry)) {
            continue;
        }
        // Written in place: a member's node stays put while its own subtree is
        // filled, and nothing else is inserted meanwhile.
        field.converter->ToValue(status, target.Member(field.name), address, field.type.info, registry);
        if (!status.IsOk()) return;
    }
}

bool StructIsEmptyNative(const void* source, const BindingStructInfo* info, const BindingTypeRegistry& registry) {
    if (info == nullptr) return false;
    // Members nest here only through structures held by value, which a type
    // cannot do to itself, so this recursion is bounded by the types.
    const auto* base = static_cast<const unsigned char*>(source);
    for (const BindingFieldInfo& field : info->fields) {
        if (field.converter == nullptr) continue;
        if ((field.flags & kFieldOmitWhenEmpty) == 0) return false;
        if (!field.converter->IsEmptyNative(base + field.offset, field.type.info, registry)) return false;
    }
    return true;
}

}  // namespace hpk
