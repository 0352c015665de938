// Any bytes into the YAML reader, which must end in a value or a clean error
// (alias bombs and deep nesting included), with every structure a sound tree
// in key order however its members arrived (repeated keys, merges, aliases),
// and the same outcome whether members are gathered or inserted one by one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "binding/binding_value_parts.h"
#include "formats/yaml_reader.h"
#include "text/value_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    hpk::BindingResult result = hpk::ParseYaml(text.c_str(), text.size());
    if (!result.IsOk() && result.ErrorText().empty()) std::abort();
    if (hpk::BindingValueAccess::ShapeProblem(result.Value()) != nullptr) std::abort();
    // Members gathered per mapping, or inserted one by one: the same outcome.
    hpk::BindingResult inserted = hpk::ParseYamlMemberByMember(text.c_str(), text.size());
    if (result.IsOk() != inserted.IsOk() || result.ErrorText() != inserted.ErrorText()) std::abort();
    if (result.IsOk()) {
        std::string ours;
        std::string theirs;
        if (hpk::host::ValueToTyped(result.Value(), ours) != hpk::host::ValueToTyped(inserted.Value(), theirs) ||
            ours != theirs) {
            std::abort();
        }
    }
    return 0;
}
