// `hpk-host explore`: draws sessions from a space file, plays each against a
// freshly initialised plugin in worker processes, checks the invariants after
// every step, and shrinks the first failure to a scenario file.
#pragma once

namespace hpk::host {

class CommandLine;

// Adds `explore` to the tool's command line, with the options its own worker
// processes are started with.
void AddExploreCommand(CommandLine& line);

}  // namespace hpk::host
