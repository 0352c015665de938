// Placeholder until the readers land.
#include "decode_command.h"

#include <cstdio>

namespace hpk::host {

int RunDecodeCommand(int, char**) {
    std::fputs("hpk-host decode: not available yet\n", stderr);
    return 2;
}

}  // namespace hpk::host
