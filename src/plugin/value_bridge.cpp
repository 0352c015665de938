// Host values and JSON bodies for the runtime, over the binding and format layers.
#include "plugin/value_bridge.h"

#include "binding/type_registry.h"
#include "formats/json_reader.h"
#include "boundary/boundary_messages.h"
#include "plugin/plugin_messages.h"

namespace hpk {

void DecodeHostValue(BindingResult& result, const HostValue& value, std::string_view path) {
    HostValueToBinding(result, value, path);
}

std::optional<std::string> EncodeHostValue(HostValue& out, const BindingValue& value,
                                           const BindingTypeRegistry* registry) {
    if (ToHostValue(out, value, registry)) return std::nullopt;
    return std::string(kFailureOutOfMemory);
}

void FreeHostValue(HostValue& value) { ReleaseHostValue(value); }

void DecodeJsonText(BindingResult& result, const std::string& text) {
    BindingResult parsed = ParseJson(text.c_str());
    if (!parsed.IsOk()) {
        result.SetError(parsed.ErrorText());
        return;
    }
    parsed.TakeValue(result.Value());
}

}  // namespace hpk
