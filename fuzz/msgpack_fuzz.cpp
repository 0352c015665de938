// Any bytes into the MessagePack reader: a value or a clean error, never a
// crash, and the consumed count never past the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "binding/binding_value_parts.h"
#include "formats/msgpack_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hpk::MessagePackReadResult read = hpk::ReadMessagePack(data, size);
    if (read.consumed > size) std::abort();
    if (!read.result.IsOk() && read.result.ErrorText().empty()) std::abort();
    // Every structure a sound tree in key order, however its members arrived.
    if (hpk::BindingValueAccess::ShapeProblem(read.result.Value()) != nullptr) std::abort();
    return 0;
}
