// `hpk-host decode`: its command line, and the exit code of what it did. The
// reading, decoding and listing are in decode/.
#include "commands/decode_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "commands/command_line.h"
#include "commands/exit_codes.h"
#include "decode/decode_messages.h"
#include "decode/payload_decoder.h"

namespace hpk::host {
namespace {

struct DecodeOptions {
    std::optional<PayloadFormat> format;
    TreeListing listing = TreeListing::Typed;
    std::uint64_t repeat = 1;
    std::string file;  // "" or "-": standard input
};

int Decode(const DecodeOptions& options) {
#ifdef _WIN32
    // Bodies are bytes, and the listing's line ends are "\n" on every platform.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const Outcome<std::string> bytes = ReadPayload(options.file);
    if (!bytes.IsOk()) {
        std::fprintf(stderr, "%s\n", bytes.Error().c_str());
        return kExitFailed;
    }
    BindingResult result;
    for (std::uint64_t i = 0; i < options.repeat; ++i) {
        result = DecodePayload(*options.format, bytes.Value());
        if (!result.IsOk()) {
            std::fprintf(stderr, "%s\n", result.ErrorText().c_str());
            return kExitFailed;
        }
    }
    if (options.repeat == 0) return kExitOk;
    const Outcome<std::string> text = ListTree(result.Value(), options.listing);
    if (!text.IsOk()) {
        std::fprintf(stderr, "%s\n", text.Error().c_str());
        return kExitFailed;
    }
    std::fwrite(text.Value().data(), 1, text.Value().size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void AddDecodeCommand(CommandLine& line) {
    auto options = std::make_shared<DecodeOptions>();
    CLI::App& command = line.Add("decode", kDecodeSynopsis, kDecodeSummary, [options] { return Decode(*options); });
    auto format = [&command, options](const char* name, PayloadFormat format, const char* help) {
        return command.add_flag_callback(
            name, [options, format] { options->format = format; }, help);
    };
    CLI::Option* json = format("--json", PayloadFormat::Json, "the payload is JSON");
    CLI::Option* yaml = format("--yaml", PayloadFormat::Yaml, "the payload is YAML");
    CLI::Option* msgpack = format("--msgpack", PayloadFormat::MessagePack, "the payload is MessagePack");
    json->excludes(yaml)->excludes(msgpack);
    yaml->excludes(msgpack);
    AddChoiceOption(command, "--print", options->listing,
                    {{"typed", TreeListing::Typed}, {"json", TreeListing::Json}, {"none", TreeListing::Nothing}},
                    "lists the tree typed (the default: a string byte that is not UTF-8 shows as \\xNN), as JSON "
                    "(such a byte shows as U+FFFD) or not at all");
    AddCountOption(command, "--repeat", options->repeat, "decodes the payload N times (default 1); lists the last");
    command.add_option("FILE", options->file, "the payload; standard input when FILE is - or absent");
    // CLI11's way to refuse within its reading: Run catches it with the rest.
    command.parse_complete_callback([options] {
        if (!options->format) throw CLI::RequiredError(kDecodeNeedsFormat);
    });
}

}  // namespace hpk::host
