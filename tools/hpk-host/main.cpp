// hpk-host: runs the plugin outside the game client, for the client's
// platform engineers. Dispatches to one command.
#include <cstdio>
#include <cstring>

#include "commands/check_command.h"
#include "commands/decode_command.h"
#include "commands/describe_command.h"
#include "commands/explore_command.h"
#include "commands/run_command.h"

namespace {

constexpr char kUsage[] =
    "usage: hpk-host <command> [options]\n"
    "  run [SCENARIO] [--plugin PATH] [--json]\n"
    "      plays a scenario (built-in default without SCENARIO) and prints the timeline\n"
    "  describe [--plugin PATH] [--format text|json|openapi]\n"
    "      prints the API the plugin hands the host at load\n"
    "  check [--plugin PATH]\n"
    "      verifies what a host relies on; exits non-zero at the first broken rule\n"
    "  explore [SPACE] [--seed N] [--sessions N | --time S] [--steps N] [--plugin PATH] [--out DIR] [--json]\n"
    "      plays sessions drawn from a space file, checks the invariants, shrinks a failure to a scenario\n"
    "  decode --json|--yaml|--msgpack [--print typed|json|none] [--repeat N] [FILE|-]\n"
    "      prints what a payload decodes to\n"
    "The plugin library defaults to the one beside this executable.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return hpk::host::kExitUsage;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "run") == 0) return hpk::host::RunRunCommand(argc - 2, argv + 2);
    if (std::strcmp(command, "describe") == 0) return hpk::host::RunDescribeCommand(argc - 2, argv + 2);
    if (std::strcmp(command, "check") == 0) return hpk::host::RunCheckCommand(argc - 2, argv + 2);
    if (std::strcmp(command, "explore") == 0) return hpk::host::RunExploreCommand(argc - 2, argv + 2);
    if (std::strcmp(command, "decode") == 0) return hpk::host::RunDecodeCommand(argc - 2, argv + 2);
    if (std::strcmp(command, "help") == 0 || std::strcmp(command, "--help") == 0) {
        std::fputs(kUsage, stdout);
        return hpk::host::kExitOk;
    }
    std::fputs(kUsage, stderr);
    return hpk::host::kExitUsage;
}
