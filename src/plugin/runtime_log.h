// Log lines of the plugin runtime, through the process log manager (and from
// init on, through the plugin log target to the host). Never fails.
#pragma once
#include <cstdint>

// MinGW gcc checks printf as the Microsoft runtime's unless told gnu_printf (the
// library formats with the C99 printf); clang checks the C99 formats anyway.
#if defined(__MINGW32__) && !defined(__clang__)
#define HPK_RUNTIME_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define HPK_RUNTIME_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace hpk {

enum class RuntimeLogLevel : std::int32_t { Okay = 0, Warn = 1, Error = 2, Always = 3 };

// No categories: every target that passes the level sees it.
void LogRuntime(RuntimeLogLevel level, const char* format, ...) HPK_RUNTIME_PRINTF(2, 3);

}  // namespace hpk
