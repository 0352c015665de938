// The console targets' writes.
#include "diagnostics/log_targets.h"

#include "diagnostics/log_manager.h"
#include "diagnostics/log_template.h"

namespace hpk {

namespace {
constexpr std::size_t kLineBufferSize = 4096;
}

BaseConsoleLogTarget::~BaseConsoleLogTarget() { DetachFromManager(); }

const char* BaseConsoleLogTarget::Name() const { return kBaseConsoleLogTargetName; }

bool BaseConsoleLogTarget::WriteRecord(const LogRecord& record) {
    char line[kLineBufferSize];
    const LogManager* manager = LogManager::Instance();
    ExpandLogTemplate(line, sizeof line, TemplateForRecord(record), record,
                      manager != nullptr ? manager->ExecutableName() : kUnknownExecutableName);
    WriteText(line);
    return true;
}

const char* StdErrLogTarget::Name() const { return kStdErrLogTargetName; }

void StdErrLogTarget::Flush() {
    if (stream_ != nullptr) std::fflush(stream_);
}

void StdErrLogTarget::WriteText(const char* line) {
    if (stream_ != nullptr) std::fputs(line, stream_);
}

const char* StdOutLogTarget::Name() const { return kStdOutLogTargetName; }

void StdOutLogTarget::Flush() {
    if (stream_ != nullptr) std::fflush(stream_);
}

void StdOutLogTarget::SetFlushFlag(std::int32_t flag) {
    platform::LockGuard guard(TargetLock());
    flushFlag_ = flag;
}

void StdOutLogTarget::WriteText(const char* line) {
    if (stream_ == nullptr) return;
    std::fputs(line, stream_);
    if (flushFlag_ == 1) std::fflush(stream_);
}

const char* DebuggerConsoleLogTarget::Name() const { return kDebuggerConsoleLogTargetName; }

void DebuggerConsoleLogTarget::WriteText(const char* line) { platform::DebugOutput(line); }

}  // namespace hpk
