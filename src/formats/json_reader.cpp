// JSON text into BindingValue trees: the tokenizer drives JsonValueBuilder.
#include "formats/json_reader.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include <rapidjson/reader.h>

#include "binding/page_supplier.h"
#include "binding/value_arena.h"
#include "formats/formats_messages.h"
#include "formats/json_value_builder.h"

namespace hpk {
namespace {

// The recursive mode is the tokenizer's fastest, but it takes stack for every
// level of nesting and would overflow a 1 MiB stack on a few thousand nested
// arrays. So a document is read recursively up to kRecursiveDepth levels, which
// no real payload reaches, and a deeper one is read again from the start in
// iterative mode. That mode accepts exactly the same grammar and keeps its state
// on the heap; its errors and offsets are the recursive mode's but for one case,
// mended in ParseJson.
constexpr std::size_t kRecursiveDepth = 128;
constexpr unsigned kJsonParseFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag;

// The copy of a large document: a span of the page supplier, which keeps it
// for the next document of that size. From the heap, each such copy would be
// mapped, faulted in page by page and unmapped again.
class SpanCopy {
public:
    explicit SpanCopy(std::size_t size) : size_(size), memory_(PageSupplier::Instance().AcquireSpan(size)) {
        if (memory_ == nullptr) throw std::bad_alloc();
    }
    ~SpanCopy() { PageSupplier::Instance().ReturnSpan(memory_, size_); }
    SpanCopy(const SpanCopy&) = delete;
    SpanCopy& operator=(const SpanCopy&) = delete;
    char* Data() const { return static_cast<char*>(memory_); }

private:
    std::size_t size_;
    void* memory_;
};

const char* ParseErrorText(unsigned code) {
    constexpr unsigned count = sizeof kMsgJsonParseErrors / sizeof kMsgJsonParseErrors[0];
    return code < count ? kMsgJsonParseErrors[code] : kMsgJsonUnknownError;
}

void SetParseError(BindingResult& result, unsigned code, std::size_t offset) {
    char message[160];
    std::snprintf(message, sizeof message, kMsgJsonError, ParseErrorText(code), static_cast<unsigned>(offset));
    result.SetError(message);
}

}  // namespace

BindingResult ParseJson(const char* text) {
    BindingResult result;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    if (*p == '\0') return result;  // a blank body is no document, and no error

    // The tokenizer decodes strings in place in a copy of the text (its
    // insitu mode) instead of pushing every character of every string and
    // name onto its own stack; errors and offsets are those of the default
    // mode (the text is the same, only where decoded strings go differs).
    const std::size_t length = std::strlen(text);
    // Payloads are mostly small: their copy lives on the stack.
    char local[2048];
    std::unique_ptr<char[]> medium;  // not zero-filled: the text is copied over it at once
    std::optional<SpanCopy> large;
    char* scratch = local;
    if (length + 1 >= BindingValueArena::kSpanThreshold) {
        large.emplace(length + 1);
        scratch = large->Data();
    } else if (length >= sizeof local) {
        medium.reset(new char[length + 1]);
        scratch = medium.get();
    }
    std::memcpy(scratch, text, length + 1);
    rapidjson::Reader reader;
    {
        JsonValueBuilder builder(result.Value(), kRecursiveDepth);
        rapidjson::InsituStringStream stream(scratch);
        const rapidjson::ParseResult parsed = reader.Parse<rapidjson::kParseInsituFlag>(stream, builder);
        if (!parsed.IsError()) return result;
        if (!builder.StoppedTooDeep()) {
            SetParseError(result, static_cast<unsigned>(parsed.Code()), parsed.Offset());
            return result;
        }
        result.Value().Clear();  // too deep for the stack: start again below
    }

    std::memcpy(scratch, text, length + 1);  // the first reading decoded strings into it
    JsonValueBuilder builder(result.Value());
    rapidjson::InsituStringStream stream(scratch);
    const rapidjson::ParseResult parsed = reader.Parse<kJsonParseFlags>(stream, builder);
    if (parsed.IsError()) {
        // A stray "]", "}", "," or ":" where the document should start is an
        // empty document to the iterative mode and an invalid value to the
        // recursive one. Blank text never gets here, so the document was not
        // empty: report what the recursive mode would.
        const unsigned code = parsed.Code() == rapidjson::kParseErrorDocumentEmpty
                                  ? static_cast<unsigned>(rapidjson::kParseErrorValueInvalid)
                                  : static_cast<unsigned>(parsed.Code());
        SetParseError(result, code, parsed.Offset());
    }
    return result;
}

}  // namespace hpk
