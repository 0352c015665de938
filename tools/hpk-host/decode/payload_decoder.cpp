// Reading, decoding and listing a payload for `hpk-host decode`.
#include "decode/payload_decoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "decode/decode_messages.h"
#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "text/value_printer.h"

namespace hpk::host {

bool ReadPayload(const std::string& file, std::string& bytes, std::string& error) {
    const bool standardInput = file.empty() || file == "-";
    std::FILE* stream = stdin;
    if (!standardInput) {
        stream = std::fopen(file.c_str(), "rb");
        if (stream == nullptr) {
            error = FormatPositional(kDecodeCannotRead, file, std::strerror(errno));
            return false;
        }
    }
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) bytes.append(buffer, got);
    const bool failed = std::ferror(stream) != 0;
    if (!standardInput) std::fclose(stream);
    if (failed) error = FormatPositional(kDecodeCannotRead, standardInput ? "-" : file, kDecodeReadError);
    return !failed;
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

bool ListTree(const BindingValue& tree, TreeListing listing, std::string& text, std::string& error) {
    switch (listing) {
        case TreeListing::Nothing: return true;
        case TreeListing::Json: text = ValueToJson(tree) + "\n"; return true;
        case TreeListing::Typed: break;
    }
    if (ValueToTyped(tree, text)) return true;
    error = FormatPositional(kDecodeTooDeepToPrint, kTypedPrintMaxDepth);
    return false;
}

}  // namespace hpk::host
