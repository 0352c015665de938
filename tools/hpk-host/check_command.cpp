#include "check_command.h"
namespace hpk::host { int RunCheckCommand(int, char**) { return 2; } }
