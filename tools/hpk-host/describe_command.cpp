#include "describe_command.h"
namespace hpk::host { int RunDescribeCommand(int, char**) { return 2; } }
