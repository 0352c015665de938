// The host-bound log target and its installation.
#include "plugin/plugin_log_target.h"

#include "plugin/plugin_messages.h"

namespace hpk {

PluginLogTarget::~PluginLogTarget() {
    DetachFromManager();
    if (holdsManager_) GetLogManagerApi().shutdown();
}

const char* PluginLogTarget::Name() const { return kPluginLogTargetName; }

bool PluginLogTarget::WriteRecord(const LogRecord& record) {
    core_.Log(record.level, record.message != nullptr ? record.message : "");
    return true;
}

bool PluginLogTarget::IsInstalled() { return GetLogManagerApi().findTarget(kPluginLogTargetName) != nullptr; }

std::unique_ptr<PluginLogTarget> PluginLogTarget::Install(HostCoreApi core) {
    const LogManagerApi& manager = GetLogManagerApi();
    // Made first: running out of memory here leaves the manager untouched.
    auto target = std::make_unique<PluginLogTarget>(core);
    // The manager comes into being on first use; make sure it exists, so its
    // built-in targets can be found and detached. From here on the target's
    // destruction balances this reference, whatever fails below.
    manager.init();
    target->holdsManager_ = true;
    for (LogTargetInterface* builtIn : {manager.stdOutTarget(), manager.stdErrTarget(), manager.debuggerTarget()}) {
        if (builtIn != nullptr) builtIn->detach(builtIn);
    }
    manager.setMinimumLevel(static_cast<std::int32_t>(LogLevel::Okay));
    manager.setSuppressedCategories(static_cast<std::uint32_t>(kLogCategoryXtr), 0);
    LogTargetConfig config;
    config.level = static_cast<LogLevel>(manager.getMinimumLevel());
    config.templateText = kPluginLogTemplate;
    target->Configure(config);
    return target;
}

}  // namespace hpk
