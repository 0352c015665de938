// String, blob and pass-through object targets, and the vector's input check.
#include "binding/binding_messages.h"
#include "binding/convert_native.h"
#include "binding/type_registry.h"
#include "diagnostics/positional_format.h"

namespace hpk {

void StringFromValue(BindingResult& result, std::string& target, const BindingValue& value, std::string_view path,
                     const BindingTypeRegistry& registry) {
    if (!result.IsOk()) return;
    switch (value.Kind()) {
        case BindingValueKind::Empty: result.SetError(FormatPositional(kMsgValueRequired, path)); return;
        case BindingValueKind::String: target.assign(value.AsString()); return;
        case BindingValueKind::Enum: {
            const BindingEnumCell cell = value.AsEnum();
            const char* name = registry.EnumeratorName(cell.type, cell.value);
            if (name == nullptr) {
                result.SetError(FormatPositional(kMsgNotValidEnumValue, cell.value, path));
                return;
            }
            target.assign(name);
            return;
        }
        default: result.SetError(FormatPositional(kMsgNotString, path)); return;
    }
}

void BlobFromValue(BindingResult& result, std::vector<std::uint8_t>& target, const BindingValue& value,
                   std::string_view path) {
    if (!result.IsOk()) return;
    if (value.IsEmpty()) {
        result.SetError(FormatPositional(kMsgValueRequired, path));
        return;
    }
    if (value.Kind() != BindingValueKind::Blob) {
        result.SetError(
            FormatPositional(kMsgInvalidType, path, TypeKindText(BindingTypeKind::Blob), KindText(value.Kind())));
        return;
    }
    const std::uint8_t* data = value.BlobData();
    target.assign(data, data + value.Size());
}

bool CheckCollectionValue(BindingResult& result, const BindingValue& value, std::string_view path) {
    if (!result.IsOk()) return false;
    if (value.IsEmpty()) {
        result.SetError(FormatPositional(kMsgValueRequired, path));
        return false;
    }
    if (value.Kind() != BindingValueKind::Collection) {
        result.SetError(FormatPositional(kMsgNotCollection, path));
        return false;
    }
    return true;
}

void ObjectFromValue(BindingResult& result, BindingValue& target, const BindingValue& value, std::string_view path) {
    if (!result.IsOk()) return;
    if (value.IsEmpty()) {
        result.SetError(FormatPositional(kMsgValueRequired, path));
        return;
    }
    target.CopyFrom(value);
}

}  // namespace hpk
