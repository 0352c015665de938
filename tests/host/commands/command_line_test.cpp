// The tool's one command line: every command answers --help with its own
// usage and refuses a mistake the same way, --version prints the versions,
// and the shared options read what they promise. Run in-process; the help and
// the mistakes never reach a command, so no plugin is loaded.
#include "commands/command_line.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "commands/check_command.h"
#include "commands/decode_command.h"
#include "commands/describe_command.h"
#include "commands/explore_command.h"
#include "commands/run_command.h"
#include "host/host_platform.h"

namespace hpk::host {
namespace {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

Outcome RunLine(CommandLine& line, std::vector<const char*> args) {
    args.insert(args.begin(), "hpk-host");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int exitCode = line.Run(static_cast<int>(args.size()), args.data());
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    return {exitCode, out, err};
}

Outcome RunTool(std::vector<const char*> args) {
    CommandLine line;
    AddRunCommand(line);
    AddDescribeCommand(line);
    AddCheckCommand(line);
    AddExploreCommand(line);
    AddDecodeCommand(line);
    return RunLine(line, std::move(args));
}

TEST(CommandLine, EveryCommandAnswersHelpWithItsUsage) {
    const struct {
        const char* command;
        const char* usage;
    } rows[] = {
        {"run", "usage: hpk-host run [SCENARIO] [--plugin PATH] [--json | --why] [--html FILE]\n"},
        {"describe", "usage: hpk-host describe [--plugin PATH] [--format text|json|openapi]\n"},
        {"check", "usage: hpk-host check [--plugin PATH]\n"},
        {"explore",
         "usage: hpk-host explore [SPACE] [--seed N] [--sessions N | --time S] [--steps N] [--plugin PATH] "
         "[--out DIR] [--json]\n"},
        {"decode", "usage: hpk-host decode --json|--yaml|--msgpack [--print typed|json|none] [--repeat N] [FILE|-]\n"},
    };
    const Outcome listing = RunTool({"--help"});
    EXPECT_EQ(listing.exitCode, 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        const Outcome help = RunTool({row.command, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.err, "");
        EXPECT_NE(help.out.find(row.usage), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("--help"), std::string::npos);
        // The tool's own listing shows each command with the same synopsis.
        const std::string synopsis = std::string(row.usage).substr(std::string("usage: hpk-host ").size());
        EXPECT_NE(listing.out.find("  " + synopsis), std::string::npos) << listing.out;
    }
}

TEST(CommandLine, RefusesMistakesAlike) {
    const struct {
        std::vector<const char*> args;
        const char* err;
    } rows[] = {
        {{"run", "--bogus"},
         "hpk-host run: unexpected argument '--bogus'\n"
         "usage: hpk-host run [SCENARIO] [--plugin PATH] [--json | --why] [--html FILE]\n"},
        {{"run", "/a.yaml", "/b.yaml"},
         "hpk-host run: unexpected argument '/b.yaml'\n"
         "usage: hpk-host run [SCENARIO] [--plugin PATH] [--json | --why] [--html FILE]\n"},
        {{"describe", "--format", "xml"},
         "hpk-host describe: --format: 'xml' is not one of text|json|openapi\n"
         "usage: hpk-host describe [--plugin PATH] [--format text|json|openapi]\n"},
        {{"check", "--plugin"},
         "hpk-host check: --plugin: 1 required PATH missing\nusage: hpk-host check [--plugin PATH]\n"},
        {{"explore", "--steps", "0"},
         "hpk-host explore: --steps: '0' is less than 1\n"
         "usage: hpk-host explore [SPACE] [--seed N] [--sessions N | --time S] [--steps N] [--plugin PATH] "
         "[--out DIR] [--json]\n"},
        {{"run", "--json", "--why"}, nullptr},
        {{"explore", "--seed", "0x10"}, nullptr},
        {{"explore", "--sessions", "1", "--time", "1"}, nullptr},
        {{"decode", "--json", "--repeat", "-1"}, nullptr},
        {{"decode", "--json", "--yaml"}, nullptr},
        {{"decode", "x.json"},
         "hpk-host decode: --json, --yaml or --msgpack is required\n"
         "usage: hpk-host decode --json|--yaml|--msgpack [--print typed|json|none] [--repeat N] [FILE|-]\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.args[0]) + " " + row.args[1]);
        const Outcome outcome = RunTool(row.args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.out, "");
        if (row.err != nullptr) {
            EXPECT_EQ(outcome.err, row.err);
        } else {
            const std::string first = "hpk-host " + std::string(row.args[0]) + ": ";
            EXPECT_EQ(outcome.err.rfind(first, 0), 0u) << outcome.err;
            EXPECT_NE(outcome.err.find("\nusage: " + first.substr(0, first.size() - 2) + " "), std::string::npos);
        }
    }
}

TEST(CommandLine, WithoutACommandListsTheCommands) {
    const Outcome none = RunTool({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.rfind("usage: hpk-host <command> [options]\n  run [SCENARIO]", 0), 0u) << none.err;
    const Outcome unknown = RunTool({"bogus"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, "hpk-host: unexpected argument 'bogus'\n" + none.err);
    const Outcome help = RunTool({"help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, none.err);
}

TEST(CommandLine, VersionNamesTheProjectAndThePluginApi) {
    std::string version;
    std::getline(std::ifstream(std::string(HPK_SOURCE_DIR) + "/VERSION"), version);
    const Outcome outcome = RunTool({"--version"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "hpk-host " + version + ", plugin API 18.0.0\n");
}

TEST(CommandLine, SharedOptionsReadWhatTheyPromise) {
    enum class Shade { Light, Dark };
    CommandLine line;
    std::uint64_t count = 7;
    Shade shade = Shade::Light;
    std::string plugin;
    int runs = 0;
    CLI::App& command = line.Add("probe", "[--count N] [--shade light|dark]", "reads two options", [&] {
        ++runs;
        return 5;
    });
    AddCountOption(command, "--count", count, "a count", 0, 100);
    AddChoiceOption(command, "--shade", shade, {{"light", Shade::Light}, {"dark", Shade::Dark}}, "a shade");
    AddPluginOption(command, plugin);
    EXPECT_EQ(plugin, DefaultPluginPath());

    EXPECT_EQ(RunLine(line, {"probe", "--count", "010", "--shade", "dark"}).exitCode, 5);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(shade, Shade::Dark);
    EXPECT_EQ(
        RunLine(line, {"probe", "--count", "101"}).err,
        "hpk-host probe: --count: '101' is more than 100\nusage: hpk-host probe [--count N] [--shade light|dark]\n");
    EXPECT_EQ(RunLine(line, {"probe", "--count", "1e3"})
                  .err.rfind("hpk-host probe: --count: '1e3' is not a whole number\n", 0),
              0u);
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace hpk::host
