// `hpk-host describe`: load the plugin, read its host table, print it as
// text, as the help document (json) or as OpenAPI, shut the plugin down.
#include "commands/describe_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "commands/command_line.h"
#include "commands/exit_codes.h"
#include "report/api_documents.h"
#include "diagnostics/positional_format.h"
#include "host/host_core.h"
#include "text/host_messages.h"
#include "text/host_text.h"
#include "text/json_text.h"
#include "host/plugin_session.h"

namespace hpk::host {

namespace {

enum class DescribeFormat : std::uint8_t { Text = 0, Json = 1, OpenApi = 2 };

struct DescribeOptions {
    std::string pluginPath;
    DescribeFormat format = DescribeFormat::Text;
};

void PrintTags(const std::vector<std::string>& tags) {
    if (!tags.empty()) std::printf("      tags: %s\n", JoinList(tags).c_str());
}

void PrintText(const std::string& text, const char* label = nullptr) {
    if (text.empty()) return;
    std::printf("      %s%s\n", label != nullptr ? label : "", text.c_str());
}

void PrintFunctions(const ApiDescription& api) {
    std::printf("\n%u functions\n", static_cast<unsigned>(api.functions.size()));
    for (const FunctionInfo& function : api.functions) {
        const EndpointInfo& endpoint = function.endpoint;
        std::string method = endpoint.method == 8 ? endpoint.methodName : MethodText(endpoint.method);
        std::printf("  %s %s\n", method.empty() ? "ANY" : method.c_str(), endpoint.pathTemplate.c_str());
        std::string signature = function.name + "(";
        for (std::size_t i = 0; i < function.arguments.size(); ++i) {
            const ArgumentInfo& argument = function.arguments[i];
            if (i != 0) signature += ", ";
            signature += argument.name + ": " + TypeRefText(argument.type) + (argument.optional ? "?" : "");
            if (i < endpoint.locations.size()) signature += " @" + std::to_string(endpoint.locations[i]);
        }
        signature += ") -> " + TypeRefText(function.result);
        std::printf("      %s\n", signature.c_str());
        PrintText(function.nameSpace, "name space: ");
        PrintText(function.description);
        PrintText(function.help);
        PrintText(function.asyncType, "asynchronous, events of ");
        if (function.threadSafe) std::printf("      thread-safe\n");
        PrintTags(function.tags);
    }
}

void PrintTypes(const ApiDescription& api) {
    std::printf("\n%u types\n", static_cast<unsigned>(api.types.size()));
    for (const TypeInfo& type : api.types) {
        const bool enumeration = !type.hasFields && !type.enumerators.empty();
        std::printf("  %s  (%s, %u bytes)\n", type.name.c_str(), enumeration ? "enumeration" : "structure", type.size);
        PrintText(type.nameSpace, "name space: ");
        PrintText(type.description);
        PrintTags(type.tags);
        for (const FieldInfo& field : type.fields) {
            std::printf("      +%-4u %-24s %s%s\n", field.offset, field.name.c_str(), TypeRefText(field.type).c_str(),
                        field.optional ? " (optional)" : "");
        }
        for (const EnumeratorInfo& enumerator : type.enumerators) {
            std::printf("      %-24s = %-6d %s\n", enumerator.name.c_str(), enumerator.value,
                        enumerator.description.c_str());
        }
    }
}

void PrintEvents(const ApiDescription& api) {
    std::printf("\n%u events\n", static_cast<unsigned>(api.events.size()));
    for (const EventInfo& event : api.events) {
        std::printf("  %s  payload %s\n", event.name.c_str(), event.payloadType.c_str());
        PrintText(event.nameSpace, "name space: ");
        PrintText(event.description);
        PrintTags(event.tags);
    }
}

int Describe(const DescribeOptions& options) {
    Timeline timeline(false, stdout);
    HostCore core(timeline, kPluginHandle);
    PluginSession session(timeline, core);
    if (Outcome<> loaded = session.Load(options.pluginPath); !loaded.IsOk()) {
        std::fprintf(stderr, "hpk-host describe: %s\n", loaded.Error().c_str());
        return kExitNoPlugin;
    }
    ApiDescription api = session.Api();
    SortApi(api);
    const std::uint32_t* version = session.LoadRecord().version;
    const std::string versionText =
        std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]);
    switch (options.format) {
        case DescribeFormat::Text:
            std::printf("%s, plugin API %s\n", session.FullName().c_str(), versionText.c_str());
            std::printf("library %s\n", options.pluginPath.c_str());
            PrintFunctions(api);
            PrintTypes(api);
            PrintEvents(api);
            break;
        case DescribeFormat::Json:
            std::printf("%s\n", JsonText(ApiHelpDocument(api), JsonLayout::Pretty).c_str());
            break;
        case DescribeFormat::OpenApi:
            std::printf("%s\n",
                        JsonText(OpenApiDocument(api, session.FullName(), versionText), JsonLayout::Pretty).c_str());
            break;
    }
    session.Shutdown();
    for (const std::string& problem : api.problems) std::fprintf(stderr, "hpk-host describe: %s\n", problem.c_str());
    return kExitOk;
}

}  // namespace

void AddDescribeCommand(CommandLine& line) {
    auto options = std::make_shared<DescribeOptions>();
    CLI::App& command =
        line.Add("describe", "[--plugin PATH] [--format text|json|openapi]",
                 "prints the API the plugin hands the host at load", [options] { return Describe(*options); });
    AddPluginOption(command, options->pluginPath);
    AddChoiceOption(
        command, "--format", options->format,
        {{"text", DescribeFormat::Text}, {"json", DescribeFormat::Json}, {"openapi", DescribeFormat::OpenApi}},
        "text (the default), the help records as JSON, or an OpenAPI 3.1 document");
}

}  // namespace hpk::host
