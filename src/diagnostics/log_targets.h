// The built-in console targets: standard error, standard output and the
// debugger output. Each expands its template into a 4096-byte buffer and
// writes the line; the manager owns one of each.
#pragma once

#include <cstdint>
#include <cstdio>

#include "diagnostics/log_target.h"

namespace hpk {

class BaseConsoleLogTarget : public LogTarget {
public:
    // Console targets detach themselves before they go.
    ~BaseConsoleLogTarget() override;
    const char* Name() const override;
    virtual void Flush() = 0;

protected:
    // Expands the template and hands the line to WriteText. Always true.
    bool WriteRecord(const LogRecord& record) override;
    // Writes one expanded line (ending in "\n"); runs under the target's lock.
    virtual void WriteText(const char* line) = 0;
};

class StdErrLogTarget : public BaseConsoleLogTarget {
public:
    // `stream` is borrowed and must outlive the target; tests pass a file.
    explicit StdErrLogTarget(std::FILE* stream = stderr) : stream_(stream) {}
    const char* Name() const override;
    void Flush() override;

protected:
    void WriteText(const char* line) override;

private:
    std::FILE* stream_;
};

class StdOutLogTarget : public BaseConsoleLogTarget {
public:
    explicit StdOutLogTarget(std::FILE* stream = stdout) : stream_(stream) {}
    const char* Name() const override;
    void Flush() override;
    // 1: flush after every line; any other value: leave it to the C runtime.
    void SetFlushFlag(std::int32_t flag);

protected:
    void WriteText(const char* line) override;

private:
    std::FILE* stream_;
    std::int32_t flushFlag_ = 0;
};

// Writes through the platform's debugger output (discarded on Linux unless
// HPK_DEBUG_OUTPUT is set).
class DebuggerConsoleLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override;
    void Flush() override {}

protected:
    void WriteText(const char* line) override;
};

}  // namespace hpk
