// PluginLogTarget: the log target that hands every accepted line to the
// host's Log operation, and its installation at init.
#pragma once
#include <memory>

#include "diagnostics/log_target.h"
#include "plugin/core_api.h"

namespace hpk {

class PluginLogTarget : public LogTarget {
public:
    explicit PluginLogTarget(HostCoreApi core) : core_(core) {}
    ~PluginLogTarget() override;

    const char* Name() const override;

    // True when the log manager lists a target named "PluginLogTarget" (an
    // earlier init of this library installed one).
    static bool IsInstalled();
    // Detaches the three built-in targets, lets every level through (minimum
    // level 0) while still dropping "XTR" lines, and attaches a new target
    // bound to `core` with the manager's minimum level and "#D| #L| #G| #M".
    // The installed target holds a reference to the manager, released when it
    // is destroyed: the last one brings the manager down, and the next log
    // line finds the built-in targets as they were at load.
    static std::unique_ptr<PluginLogTarget> Install(HostCoreApi core);

protected:
    // Level and message only: the host lays out its own lines, so the
    // template is never expanded here.
    bool WriteRecord(const LogRecord& record) override;

private:
    HostCoreApi core_;  // fixed at construction
    bool holdsManager_ = false;
};

}  // namespace hpk
