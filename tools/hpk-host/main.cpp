// hpk-host: runs the plugin outside the game client, for the client's
// platform engineers. Its commands, in the order `hpk-host --help` lists them.
#include "commands/check_command.h"
#include "commands/command_line.h"
#include "commands/decode_command.h"
#include "commands/describe_command.h"
#include "commands/explore_command.h"
#include "commands/run_command.h"

int main(int argc, char** argv) {
    hpk::host::CommandLine line;
    hpk::host::AddRunCommand(line);
    hpk::host::AddDescribeCommand(line);
    hpk::host::AddCheckCommand(line);
    hpk::host::AddExploreCommand(line);
    hpk::host::AddDecodeCommand(line);
    return line.Run(argc, argv);
}
