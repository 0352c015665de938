// `hpk-host describe [--plugin PATH] [--format text|json|openapi]`: loads the
// plugin and prints the API it hands the host at load.
#pragma once

namespace hpk::host {

class CommandLine;

// Adds `describe` to the tool's command line.
void AddDescribeCommand(CommandLine& line);

}  // namespace hpk::host
