// `hpk-host check [--plugin PATH]`: verifies, one printed check after the
// other, what a host relies on; stops at the first broken one.
#pragma once

namespace hpk::host {

// argv holds the arguments after "check".
int RunCheckCommand(int argc, char** argv);

}  // namespace hpk::host
