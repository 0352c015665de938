// `hpk-host describe [--plugin PATH] [--format text|json|openapi]`: loads the
// plugin and prints the API it hands the host at load.
#pragma once

namespace hpk::host {

// argv holds the arguments after "describe".
int RunDescribeCommand(int argc, char** argv);

}  // namespace hpk::host
