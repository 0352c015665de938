// JSON text into BindingValue trees: the tokenizer drives JsonValueBuilder.
#include "formats/json_reader.h"

#include <cstdio>

#include <rapidjson/reader.h>

#include "formats/formats_messages.h"
#include "formats/json_value_builder.h"

namespace hpk {
namespace {

// Iterative mode accepts exactly the default grammar and reports the same
// error codes and offsets, but keeps its state on the heap: the recursive mode
// would overflow a 1 MiB stack on a few thousand nested arrays.
constexpr unsigned kJsonParseFlags = rapidjson::kParseIterativeFlag;

const char* ParseErrorText(unsigned code) {
    constexpr unsigned count = sizeof kMsgJsonParseErrors / sizeof kMsgJsonParseErrors[0];
    return code < count ? kMsgJsonParseErrors[code] : kMsgJsonUnknownError;
}

}  // namespace

BindingResult ParseJson(const char* text) {
    BindingResult result;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    if (*p == '\0') return result;  // a blank body is no document, and no error

    JsonValueBuilder builder(result.Value());
    rapidjson::Reader reader;
    rapidjson::StringStream stream(text);
    const rapidjson::ParseResult parsed = reader.Parse<kJsonParseFlags>(stream, builder);
    if (parsed.IsError()) {
        char message[160];
        std::snprintf(message, sizeof message, kMsgJsonError, ParseErrorText(parsed.Code()),
                      static_cast<unsigned>(parsed.Offset()));
        result.SetError(message);
    }
    return result;
}

}  // namespace hpk
