// `hpk-host check [--plugin PATH]`: verifies, one printed check after the
// other, what a host relies on; stops at the first broken one.
#pragma once

namespace hpk::host {

class CommandLine;

// Adds `check` to the tool's command line.
void AddCheckCommand(CommandLine& line);

}  // namespace hpk::host
