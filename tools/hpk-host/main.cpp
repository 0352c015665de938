// hpk-host: runs the plugin outside the client. Dispatches to one command.
#include <cstdio>
#include <cstring>

#include "decode_command.h"

namespace {

void Usage() {
    std::fputs("usage: hpk-host <command> [options]\n"
               "  decode --json|--yaml|--msgpack [--print typed|json|none] [--repeat N] [FILE|-]\n",
               stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    if (std::strcmp(argv[1], "decode") == 0) return hpk::host::RunDecodeCommand(argc - 2, argv + 2);
    Usage();
    return 2;
}
