// JSON text into BindingValue trees: the tokenizer drives JsonValueBuilder.
#include "formats/json_reader.h"

#include <cstdio>

#include <rapidjson/reader.h>

#include "formats/formats_messages.h"
#include "formats/json_value_builder.h"

namespace hpk {
namespace {

// Iterative mode accepts exactly the default grammar but keeps its state on the
// heap: the recursive mode would overflow a 1 MiB stack on a few thousand nested
// arrays. Its errors and offsets are those of the recursive mode but for one
// case, mended in ParseJson.
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
        // A stray "]", "}", "," or ":" where the document should start is an
        // empty document to the iterative mode and an invalid value to the
        // recursive one. Blank text never gets here, so the document was not
        // empty: report what the recursive mode would.
        const unsigned code = parsed.Code() == rapidjson::kParseErrorDocumentEmpty
                                  ? static_cast<unsigned>(rapidjson::kParseErrorValueInvalid)
                                  : static_cast<unsigned>(parsed.Code());
        char message[160];
        std::snprintf(message, sizeof message, kMsgJsonError, ParseErrorText(code),
                      static_cast<unsigned>(parsed.Offset()));
        result.SetError(message);
    }
    return result;
}

}  // namespace hpk
