// `hpk-host explore`: draws sessions from a space file, plays each against a
// freshly initialised plugin in worker processes, checks the invariants after
// every step, and shrinks the first failure to a scenario file.
#pragma once

namespace hpk::host {

int RunExploreCommand(int argc, char** argv);

}  // namespace hpk::host
