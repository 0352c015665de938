// Any bytes, as NUL-terminated text, into the JSON reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "binding/binding_value_parts.h"
#include "formats/json_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    hpk::BindingResult result = hpk::ParseJson(text.c_str());
    if (!result.IsOk() && result.ErrorText().empty()) std::abort();
    // Every structure a sound tree in key order, however its members arrived.
    if (hpk::BindingValueAccess::ShapeProblem(result.Value()) != nullptr) std::abort();
    return 0;
}
