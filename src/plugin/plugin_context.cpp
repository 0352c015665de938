// The debug trace hook of the plugin's parts.
#include "plugin/plugin_context.h"

#include <cstdio>

namespace hpk {

void PluginContext::Trace(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    TraceArguments(format, args);
    va_end(args);
}

void PluginContext::TraceArguments(const char* format, va_list args) const {
    if (!traceSink) return;
    char line[4096];
    std::vsnprintf(line, sizeof line, format, args);
    traceSink(line);
}

}  // namespace hpk
