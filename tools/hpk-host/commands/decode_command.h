// `hpk-host decode`: prints what a JSON, YAML or MessagePack payload decodes to.
#pragma once

namespace hpk::host {

// argv holds the arguments after "decode". Returns the process exit code:
// 0 success, 1 decode failure, 2 usage error.
int RunDecodeCommand(int argc, char** argv);

}  // namespace hpk::host
