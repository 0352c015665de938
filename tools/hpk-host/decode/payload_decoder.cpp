// Reading, decoding and listing a payload for `hpk-host decode`.
#include "decode/payload_decoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "decode/decode_messages.h"
#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "text/value_printer.h"

namespace hpk::host {

Outcome<std::string> ReadPayload(const std::string& file) {
    const bool standardInput = file.empty() || file == "-";
    std::FILE* stream = stdin;
    if (!standardInput) {
        stream = std::fopen(file.c_str(), "rb");
        if (stream == nullptr) return Fail(FormatPositional(kDecodeCannotRead, file, std::strerror(errno)));
    }
    std::string bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) bytes.append(buffer, got);
    const bool failed = std::ferror(stream) != 0;
    if (!standardInput) std::fclose(stream);
    if (failed) return Fail(FormatPositional(kDecodeCannotRead, standardInput ? "-" : file, kDecodeReadError));
    return bytes;
}

BindingResult DecodePayload(PayloadFormat format, const std::string& bytes) {
    switch (format) {
        case PayloadFormat::Json: return ParseJson(bytes.c_str());
        case PayloadFormat::Yaml: return ParseYaml(bytes.c_str(), bytes.size());
        case PayloadFormat::MessagePack: break;
    }
    MessagePackReadResult read = ReadMessagePack(bytes);
    if (read.result.IsOk() && read.consumed < bytes.size()) read.result.SetError(kMsgMessagePackExtraData);
    return std::move(read.result);
}

Outcome<std::string> ListTree(const BindingValue& tree, TreeListing listing) {
    switch (listing) {
        case TreeListing::Nothing: return std::string();
        case TreeListing::Json: return ValueToJson(tree) + "\n";
        case TreeListing::Typed: break;
    }
    std::string text;
    if (ValueToTyped(tree, text)) return text;
    return Fail(FormatPositional(kDecodeTooDeepToPrint, kTypedPrintMaxDepth));
}

}  // namespace hpk::host
