// The logging subsystem's binary interfaces: levels, categories, the record a
// target receives, the 12-entry table embedded in every target and the
// 26-entry table through which the process-wide log manager is reached.
// Entry order is the contract: add at the end, never reorder.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace hpk {

enum class LogLevel : std::int32_t {
    Okay = 0,
    Warn = 1,
    Error = 2,
    Always = 3,
};

// Category masks: bit i is category i. Slots 0..7 are preset.
inline constexpr std::uint64_t kLogCategoryDbg = 1u << 0;
inline constexpr std::uint64_t kLogCategoryGen = 1u << 1;
inline constexpr std::uint64_t kLogCategoryXtr = 1u << 2;
inline constexpr std::uint64_t kLogCategoryPrf = 1u << 3;
inline constexpr std::uint64_t kLogCategoryMem = 1u << 4;
inline constexpr std::uint64_t kLogCategoryDsk = 1u << 5;
inline constexpr std::uint64_t kLogCategoryNet = 1u << 6;
inline constexpr std::uint64_t kLogCategoryTst = 1u << 7;

// One log line as targets see it. The time is local time; `message` is
// borrowed, valid only during the write call.
struct LogRecord {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
    std::int32_t millisecond;
    std::int32_t level;  // a LogLevel value
    std::uint64_t categories;
    const char* message;
};
static_assert(offsetof(LogRecord, level) == 28 && offsetof(LogRecord, categories) == 32);
static_assert(offsetof(LogRecord, message) == 40);

// The table each target embeds; the manager's list holds its address. Every
// entry takes that address first and recovers the target from it.
struct LogTargetInterface {
    std::int32_t (*version)(LogTargetInterface* self);               // 0: returns 1
    void (*setLevel)(LogTargetInterface* self, std::int32_t level);  // 1
    std::int32_t (*getLevel)(LogTargetInterface* self);              // 2
    // 3: stores exclude, and include with every excluded bit cleared
    void (*setCategories)(LogTargetInterface* self, std::uint32_t includeLow, std::uint32_t includeHigh,
                          std::uint32_t excludeLow, std::uint32_t excludeHigh);
    std::uint64_t (*getIncludeCategories)(LogTargetInterface* self);  // 4
    std::uint64_t (*getExcludeCategories)(LogTargetInterface* self);  // 5
    const char* (*name)(LogTargetInterface* self);                    // 6: static text
    // 7: the target's template, valid until it is changed; the record may be null
    const char* (*templateForRecord)(LogTargetInterface* self, const LogRecord* record);
    void (*attach)(LogTargetInterface* self);                                  // 8
    void (*detach)(LogTargetInterface* self);                                  // 9
    std::uint8_t (*isAttached)(LogTargetInterface* self);                      // 10
    std::uint8_t (*write)(LogTargetInterface* self, const LogRecord* record);  // 11: 1 = written
};
static_assert(sizeof(LogTargetInterface) == 12 * sizeof(void*));

// The log manager's table. Entries 3..13 run under the manager's lock. Texts
// returned are static or owned by the manager (valid while it exists). Sizes
// are buffer sizes in bytes; the functions that fill buffers return the number
// of characters written, the NUL not counted.
struct LogManagerApi {
    std::int32_t (*version)();                                               // 0: returns 1
    void (*init)();                                                          // 1: count +1, creates at 0
    void (*shutdown)();                                                      // 2: count -1, destroys at 0
    void (*setMinimumLevel)(std::int32_t level);                             // 3
    std::int32_t (*getMinimumLevel)();                                       // 4
    void (*setSuppressedCategories)(std::uint32_t low, std::uint32_t high);  // 5
    std::uint64_t (*getSuppressedCategories)();                              // 6
    void (*mute)();                                                          // 7
    void (*unmute)();                                                        // 8
    void (*setReservedFlag)();                                               // 9: nothing reads it
    void (*clearReservedFlag)();                                             // 10
    void (*attachTarget)(LogTargetInterface* target);                        // 11: appends
    void (*detachTarget)(LogTargetInterface* target);                        // 12: removes all
    LogTargetInterface* (*findTarget)(const char* name);                     // 13: first attached, or null
    LogTargetInterface* (*stdOutTarget)();                                   // 14: null without a manager
    LogTargetInterface* (*stdErrTarget)();                                   // 15: null without a manager
    LogTargetInterface* (*debuggerTarget)();                                 // 16: null without a manager
    void (*category)(const char* name, std::uint64_t* mask);                 // 17: registers new names
    std::uint32_t (*categoryNames)(char* out, std::uint32_t size,            // 18: "DBG;GEN"
                                   std::uint32_t maskLow, std::uint32_t maskHigh);
    std::uint32_t (*expandTemplate)(char* out, std::uint32_t size,  // 19: ends in one "\n"
                                    const char* templateText, const LogRecord* record);
    const char* (*levelName)(std::int32_t level);                    // 20
    const char* (*executableName)();                                 // 21
    void (*localTime)(LogRecord* record);                            // 22: the seven time fields
    std::uint32_t (*formatTimestamp)(char* out, std::uint32_t size,  // 23
                                     const LogRecord* time);
    std::uint32_t (*formatFileTimestamp)(char* out, std::uint32_t size,  // 24
                                         const LogRecord* time);
    void (*log)(std::int32_t level, std::uint32_t categoriesLow,  // 25: never fails
                std::uint32_t categoriesHigh, const char* format, va_list arguments);
};
static_assert(sizeof(LogManagerApi) == 26 * sizeof(void*));

// The process's log manager table; lives for the whole process.
const LogManagerApi& GetLogManagerApi();

}  // namespace hpk
