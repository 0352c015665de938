// A log target for tests: keeps every record it receives, with its template
// expanded, instead of writing it anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/log_target.h"

namespace hpk {

class CaptureLogTarget : public LogTarget {
public:
    struct Line {
        std::int32_t level;
        std::uint64_t categories;
        std::string message;   // the record's message
        std::string expanded;  // the target's template expanded for the record
    };

    // `name` is what the manager's find-by-name sees; a static text.
    explicit CaptureLogTarget(const char* name = "CaptureLogTarget") : name_(name) {}
    ~CaptureLogTarget() override { DetachFromManager(); }

    const char* Name() const override { return name_; }

    std::vector<Line> Lines() const;
    std::vector<std::string> Messages() const;
    void Clear();

protected:
    bool WriteRecord(const LogRecord& record) override;

private:
    const char* name_;
    std::vector<Line> lines_;  // guarded by the target's lock
};

}  // namespace hpk
