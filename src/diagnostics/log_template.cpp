// Template expansion, level names and timestamps of log lines.
#include "diagnostics/log_template.h"

#include <cstdio>
#include <cstring>

#include "diagnostics/diagnostics_messages.h"
#include "diagnostics/log_categories.h"
#include "diagnostics/uptime_clock.h"
#include "platform/platform.h"

namespace hpk {
namespace {

// snprintf that reports what it actually wrote, never more than size - 1.
std::size_t Bounded(int written, std::size_t size) {
    if (written < 0 || size == 0) return 0;
    return static_cast<std::size_t>(written) < size ? static_cast<std::size_t>(written) : size - 1;
}

// Appends `text` to out[length..limit), cut to what fits.
void Append(char* out, std::size_t& length, std::size_t limit, const char* text) {
    if (text == nullptr) return;
    while (*text != '\0' && length < limit) out[length++] = *text++;
}

}  // namespace

const char* LevelName(std::int32_t level) {
    switch (level) {
        case 0: return kLevelNameOkay;
        case 1: return kLevelNameWarn;
        case 2: return kLevelNameError;
        case 3: return kLevelNameAlways;
        default: return kLevelNameUnknown;
    }
}

std::size_t FormatTimestamp(char* out, std::size_t size, const LogRecord& t) {
    if (out == nullptr || size == 0) return 0;
    return Bounded(
        std::snprintf(out, size, kTimestampFormat, t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond),
        size);
}

std::size_t FormatFileTimestamp(char* out, std::size_t size, const LogRecord& t) {
    if (out == nullptr || size == 0) return 0;
    return Bounded(std::snprintf(out, size, kFileTimestampFormat, t.year, t.month, t.day, t.hour, t.minute, t.second),
                   size);
}

void FillLocalTime(LogRecord& record) {
    const platform::LocalTime now = platform::GetLocalTime();
    record.year = now.year;
    record.month = now.month;
    record.day = now.day;
    record.hour = now.hour;
    record.minute = now.minute;
    record.second = now.second;
    record.millisecond = now.millisecond;
}

std::size_t ExpandLogTemplate(char* out, std::size_t size, const char* templateText, const LogRecord& record,
                              const char* executableName) {
    if (out == nullptr || size == 0) return 0;
    if (size == 1) {
        out[0] = '\0';
        return 0;
    }
    // Room is always kept for the final line break and the NUL.
    const std::size_t limit = size - 2;
    std::size_t length = 0;
    char scratch[128];
    for (const char* p = templateText != nullptr ? templateText : ""; *p != '\0' && length < limit; ++p) {
        if (*p != '#') {
            out[length++] = *p;
            continue;
        }
        const char code = *++p;
        if (code == '\0') break;
        switch (code) {
            case 'D':
                FormatTimestamp(scratch, sizeof scratch, record);
                Append(out, length, limit, scratch);
                break;
            case 'E': Append(out, length, limit, executableName); break;
            case 'G':
                // Names are written straight into the output so they are cut, not dropped, at the end.
                length += LogCategoryTable::Process().Names(out + length, limit - length + 1, record.categories);
                break;
            case 'H': {
                const double uptime = UptimeSeconds();
                const int whole = static_cast<int>(uptime);
                const int milliseconds = static_cast<int>((uptime - whole) * 1000.0);
                std::snprintf(scratch, sizeof scratch, kUptimeFormat, whole, milliseconds);
                Append(out, length, limit, scratch);
                break;
            }
            case 'L': Append(out, length, limit, LevelName(record.level)); break;
            case 'M': Append(out, length, limit, record.message); break;
            case 'T':
                std::snprintf(scratch, sizeof scratch, "%p",
                              reinterpret_cast<void*>(static_cast<std::uintptr_t>(platform::CurrentThreadId())));
                Append(out, length, limit, scratch);
                break;
            default: out[length++] = code; break;
        }
    }
    if (length == 0 || out[length - 1] != '\n') out[length++] = '\n';
    out[length] = '\0';
    return length;
}

}  // namespace hpk
