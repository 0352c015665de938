// The process-wide log manager: filters each message, stamps it with the local
// time and delivers it to the attached targets in attach order. Other code
// reaches it through LogMessage (below) or the LogManagerApi table.
//
// Lifetime: the manager is created by the first init (LogManagerApi entry 1) or
// by the first use (a log call, an attach) and destroyed by the shutdown that
// brings init's count back to 0. Creation and destruction belong to start-up
// and shut-down: no other thread may log while the last shutdown runs.
// Locks: the manager's lock, then a target's lock (see log_target.h).
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <vector>

#include "diagnostics/log_interfaces.h"
#include "platform/platform.h"

// MinGW gcc checks printf as the Microsoft runtime's unless told gnu_printf (the
// library formats with the C99 printf); clang checks the C99 formats anyway.
#if defined(__MINGW32__) && !defined(__clang__)
#define HPK_LOG_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define HPK_LOG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace hpk {

class StdErrLogTarget;
class StdOutLogTarget;
class DebuggerConsoleLogTarget;

// Logs one printf-style message. Never fails towards the caller: without a
// manager one is created; a message longer than 4095 characters is cut.
void LogMessage(LogLevel level, std::uint64_t categories, const char* format, ...) HPK_LOG_PRINTF(3, 4);
void LogMessageV(LogLevel level, std::uint64_t categories, const char* format, va_list arguments);

class LogManager {
public:
    // The manager, or null while none exists.
    static LogManager* Instance();
    // The manager, created with its default targets when none exists; null only
    // when it cannot be created.
    static LogManager* GetOrCreate();
    // Reference-counted start and end of the manager's life (table entries 1, 2).
    // A shutdown without a matching init is ignored.
    static void Init();
    static void Shutdown();

    platform::RecursiveLock& Lock() { return lock_; }

    // Settings; each runs under the manager's lock.
    void SetMinimumLevel(std::int32_t level);
    std::int32_t MinimumLevel() const;
    void SetSuppressedCategories(std::uint64_t categories);
    std::uint64_t SuppressedCategories() const;
    void SetMuted(bool muted);
    bool Muted() const;
    void SetReservedFlag(bool set);

    // The target list. Attach appends (duplicates included); detach removes every
    // occurrence and keeps the order of the rest. Neither touches a target's
    // attached flag: LogTarget::Attach/Detach do that and call these.
    void AttachTarget(LogTargetInterface* target);
    void DetachTarget(LogTargetInterface* target);
    // First listed target whose name equals `name` byte for byte, or null.
    LogTargetInterface* FindTarget(const char* name);
    // A copy of the list, in attach order.
    std::vector<LogTargetInterface*> AttachedTargets() const;

    // The built-in targets; owned by the manager, alive while it exists.
    StdErrLogTarget& StdErr() { return *stdErr_; }
    StdOutLogTarget& StdOut() { return *stdOut_; }
    DebuggerConsoleLogTarget& Debugger() { return *debugger_; }

    // Text after the last path separator of the process image, "<unknown>"
    // when the path could not be read.
    const char* ExecutableName() const { return executableName_; }

    // Filters, formats and delivers one message (table entry 25).
    void Log(std::int32_t level, std::uint64_t categories, const char* format, va_list arguments);

private:
    LogManager();
    ~LogManager();
    LogManager(const LogManager&) = delete;
    LogManager& operator=(const LogManager&) = delete;

    static LogManager* Create();
    void ReadExecutablePath();
    void DetachAll();
    bool Accepts(LogTargetInterface* target, std::int32_t level, std::uint64_t categories);

    mutable platform::RecursiveLock lock_;
    std::vector<LogTargetInterface*> targets_;  // borrowed: each target detaches itself before it goes
    // The list as the record being delivered found it; its capacity follows
    // the list's, so delivery allocates nothing.
    std::vector<LogTargetInterface*> delivery_;
    std::uint8_t muted_ = 0;
    std::uint8_t reservedFlag_ = 0;  // set and cleared through the table; nothing reads it
    std::int32_t minimumLevel_ = 1;
    std::uint64_t suppressed_ = 4;  // "XTR"
    char executablePath_[1024] = {};
    const char* executableName_;
    std::unique_ptr<StdErrLogTarget> stdErr_;
    std::unique_ptr<StdOutLogTarget> stdOut_;
    std::unique_ptr<DebuggerConsoleLogTarget> debugger_;
};

}  // namespace hpk
