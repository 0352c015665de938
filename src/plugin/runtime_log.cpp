// Runtime log lines through the process log manager.
#include "plugin/runtime_log.h"

#include <cstdarg>

#include "diagnostics/log_interfaces.h"

namespace hpk {

void LogRuntime(RuntimeLogLevel level, const char* format, ...) {
    // A line outside init and shutdown (a failed load, a failure after the
    // plugin's target is gone) holds the manager only for itself: created with
    // its built-in targets if none exists, and gone again afterwards.
    const LogManagerApi& manager = GetLogManagerApi();
    manager.init();
    va_list args;
    va_start(args, format);
    manager.log(static_cast<std::int32_t>(level), 0, 0, format, args);
    va_end(args);
    manager.shutdown();
}

}  // namespace hpk
