// `hpk-host decode`: reads a body, runs one of the framework's readers on it
// and prints the tree, so the readers can be tried on real payloads.
#include "commands/decode_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "binding/binding_value.h"
#include "commands/decode_messages.h"
#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "text/value_printer.h"

namespace hpk::host {
namespace {

enum class Format { None, Json, Yaml, MessagePack };
enum class PrintMode { Typed, Json, Nothing };

struct DecodeOptions {
    Format format = Format::None;
    PrintMode print = PrintMode::Typed;
    unsigned long repeat = 1;
    const char* file = nullptr;  // null or "-": standard input
};

int UsageError(const char* argument) {
    if (argument != nullptr) {
        std::fprintf(stderr, "%s\n", FormatPositional(kDecodeBadArgument, argument).c_str());
    }
    std::fputs(kDecodeUsage, stderr);
    return 2;
}

bool ParseCount(const char* text, unsigned long& count) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    count = std::strtoul(text, &end, 10);
    return errno == 0 && *end == '\0';
}

// Returns 0 when the options are usable, else the usage exit code (printed).
int ParseOptions(int argc, char** argv, DecodeOptions& options) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        Format format = Format::None;
        if (arg == "--json") format = Format::Json;
        if (arg == "--yaml") format = Format::Yaml;
        if (arg == "--msgpack") format = Format::MessagePack;
        if (format != Format::None) {
            if (options.format != Format::None) return UsageError(argv[i]);
            options.format = format;
        } else if (arg == "--print") {
            if (++i == argc) return UsageError(argv[i - 1]);
            const std::string_view mode = argv[i];
            if (mode == "typed") {
                options.print = PrintMode::Typed;
            } else if (mode == "json") {
                options.print = PrintMode::Json;
            } else if (mode == "none") {
                options.print = PrintMode::Nothing;
            } else {
                return UsageError(argv[i]);
            }
        } else if (arg == "--repeat") {
            if (++i == argc) return UsageError(argv[i - 1]);
            if (!ParseCount(argv[i], options.repeat)) return UsageError(argv[i]);
        } else if ((arg.size() > 1 && arg[0] == '-' && arg != "-") || options.file != nullptr) {
            return UsageError(argv[i]);
        } else {
            options.file = argv[i];
        }
    }
    if (options.format == Format::None) return UsageError(nullptr);
    return 0;
}

bool ReadAll(const char* file, std::string& bytes) {
    const bool standardInput = file == nullptr || std::strcmp(file, "-") == 0;
    std::FILE* stream = stdin;
    if (!standardInput) {
        stream = std::fopen(file, "rb");
        if (stream == nullptr) {
            std::fprintf(stderr, "%s\n", FormatPositional(kDecodeCannotRead, file, std::strerror(errno)).c_str());
            return false;
        }
    }
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) bytes.append(buffer, got);
    const bool failed = std::ferror(stream) != 0;
    if (!standardInput) std::fclose(stream);
    if (failed) {
        std::fprintf(stderr, "%s\n",
                     FormatPositional(kDecodeCannotRead, standardInput ? "-" : file, "read error").c_str());
    }
    return !failed;
}

BindingResult Decode(Format format, const std::string& bytes) {
    switch (format) {
        case Format::Json: return ParseJson(bytes.c_str());
        case Format::Yaml: return ParseYaml(bytes.c_str(), bytes.size());
        default: {
            MessagePackReadResult read = ReadMessagePack(bytes);
            if (read.result.IsOk() && read.consumed < bytes.size()) read.result.SetError(kMsgMessagePackExtraData);
            return std::move(read.result);
        }
    }
}

}  // namespace

int RunDecodeCommand(int argc, char** argv) {
    DecodeOptions options;
    if (const int usage = ParseOptions(argc, argv, options); usage != 0) return usage;
#ifdef _WIN32
    // Bodies are bytes, and the listing's line ends are "\n" on every platform.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::string bytes;
    if (!ReadAll(options.file, bytes)) return 1;

    BindingResult result;
    for (unsigned long i = 0; i < options.repeat; ++i) {
        result = Decode(options.format, bytes);
        if (!result.IsOk()) {
            std::fprintf(stderr, "%s\n", result.ErrorText().c_str());
            return 1;
        }
    }
    if (options.repeat == 0 || options.print == PrintMode::Nothing) return 0;

    std::string text;
    if (options.print == PrintMode::Json) {
        text = ValueToJson(result.Value());
        text += '\n';
    } else if (!ValueToTyped(result.Value(), text)) {
        std::fprintf(stderr, "%s\n", FormatPositional(kDecodeTooDeepToPrint, kTypedPrintMaxDepth).c_str());
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace hpk::host
