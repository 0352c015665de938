// Runtime log lines through the process log manager.
#include "plugin/runtime_log.h"

#include <cstdarg>

#include "diagnostics/log_interfaces.h"

namespace hpk {

void LogRuntime(RuntimeLogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    GetLogManagerApi().log(static_cast<std::int32_t>(level), 0, 0, format, args);
    va_end(args);
}

}  // namespace hpk
