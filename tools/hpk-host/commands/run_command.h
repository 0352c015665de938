// `hpk-host run [SCENARIO] [--plugin PATH] [--json] [--html FILE]`: plays a
// scenario against the plugin and prints the timeline.
#pragma once

namespace hpk::host {

class CommandLine;

// Adds `run` to the tool's command line.
void AddRunCommand(CommandLine& line);

}  // namespace hpk::host
