// Host values and JSON bodies for the runtime, over the binding and format layers.
#include "plugin/value_bridge.h"

#include "formats/json_reader.h"

namespace hpk {

void DecodeHostValue(BindingResult& result, const HostValue& value, std::string_view path) {
    HostValueToBinding(result, value, path);
}

void DecodeJsonText(BindingResult& result, const std::string& text) {
    BindingResult parsed = ParseJson(text.c_str());
    if (!parsed.IsOk()) {
        result.SetError(parsed.ErrorText());
        return;
    }
    parsed.TakeValue(result.Value());
}

}  // namespace hpk
