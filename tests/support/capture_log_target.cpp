// CaptureLogTarget: records lines under the target's lock.
#include "support/capture_log_target.h"

#include "diagnostics/log_manager.h"
#include "diagnostics/log_template.h"

namespace hpk {

bool CaptureLogTarget::WriteRecord(const LogRecord& record) {
    char expanded[4096];
    const LogManager* manager = LogManager::Instance();
    ExpandLogTemplate(expanded, sizeof expanded, TemplateForRecord(record), record,
                      manager != nullptr ? manager->ExecutableName() : kUnknownExecutableName);
    lines_.push_back({record.level, record.categories, record.message != nullptr ? record.message : "", expanded});
    return true;
}

std::vector<CaptureLogTarget::Line> CaptureLogTarget::Lines() const {
    platform::LockGuard guard(TargetLock());
    return lines_;
}

std::vector<std::string> CaptureLogTarget::Messages() const {
    platform::LockGuard guard(TargetLock());
    std::vector<std::string> messages;
    for (const Line& line : lines_) messages.push_back(line.message);
    return messages;
}

void CaptureLogTarget::Clear() {
    platform::LockGuard guard(TargetLock());
    lines_.clear();
}

}  // namespace hpk
