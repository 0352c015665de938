// `hpk-host decode`: prints what a JSON, YAML or MessagePack payload decodes to.
#pragma once

namespace hpk::host {

class CommandLine;

// Adds `decode` to the tool's command line. Its exit code is 1 when the file
// cannot be read, the payload does not decode or its tree cannot be listed.
void AddDecodeCommand(CommandLine& line);

}  // namespace hpk::host
