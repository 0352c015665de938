// Registered enumeration targets: by enumerator name, by number, or from an
// enum value of any enumeration whose number the target also has.
#include <limits>

#include "binding/binding_messages.h"
#include "binding/convert_native.h"
#include "binding/convert_number.h"
#include "diagnostics/positional_format.h"

namespace hpk {

bool EnumFromValue(BindingResult& result, std::int32_t& out, const BindingValue& value, std::string_view path,
                   const BindingEnumInfo* info, const BindingTypeRecord& record) {
    if (!result.IsOk()) return false;
    const std::string_view enumName = info != nullptr ? std::string_view(info->name) : std::string_view(record.name);
    const auto accept = [&](std::int64_t number) {
        const BindingEnumeratorInfo* enumerator = info != nullptr ? info->EnumeratorByValue(number) : nullptr;
        if (enumerator != nullptr) out = enumerator->value;
        return enumerator != nullptr;
    };
    switch (value.Kind()) {
        case BindingValueKind::Empty: result.SetError(FormatPositional(kMsgValueRequired, path)); return false;
        case BindingValueKind::Signed:
            if (accept(value.AsSigned())) return true;
            result.SetError(FormatPositional(kMsgNotValidNamedEnumValue, value.AsSigned(), enumName, path));
            return false;
        case BindingValueKind::Unsigned: {
            const std::uint64_t number = value.AsUnsigned();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) &&
                accept(static_cast<std::int64_t>(number))) {
                return true;
            }
            result.SetError(FormatPositional(kMsgNotValidNamedEnumValue, number, enumName, path));
            return false;
        }
        case BindingValueKind::Enum: {
            // The value's own enumeration is not compared: only its number.
            const std::int32_t number = value.AsEnum().value;
            if (accept(number)) return true;
            result.SetError(FormatPositional(kMsgNotValidNamedEnumValue, number, enumName, path));
            return false;
        }
        case BindingValueKind::String: {
            const std::string_view text = value.AsString();
            const BindingEnumeratorInfo* byName = info != nullptr ? info->EnumeratorByName(text) : nullptr;
            if (byName != nullptr) {
                out = byName->value;
                return true;
            }
            // A number in text form is accepted too; its parse messages are
            // replaced by the one that says what was wrong: not an enumerator.
            BindingResult scratch;
            std::int64_t number = 0;
            if (ParseSignedText(scratch, number, text, path, enumName, std::numeric_limits<std::int64_t>::min(),
                                std::numeric_limits<std::int64_t>::max()) &&
                accept(number)) {
                return true;
            }
            result.SetError(FormatPositional(kMsgNotValidNamedEnumValue, text, enumName, path));
            return false;
        }
        default: result.SetError(FormatPositional(kMsgEnumInvalidType, path, KindText(value.Kind()))); return false;
    }
}

}  // namespace hpk
