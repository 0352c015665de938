// LogTarget: settings under the target's lock, attach and detach under the
// manager's lock first, and the interface table's entries.
#include "diagnostics/log_target.h"

#include <cstddef>

#include "diagnostics/log_manager.h"

namespace hpk {

namespace {

// Takes the manager's lock when a manager exists: the first half of the lock order.
class ManagerLockIfAny {
public:
    explicit ManagerLockIfAny(LogManager* manager) : manager_(manager) {
        if (manager_ != nullptr) manager_->Lock().Lock();
    }
    ~ManagerLockIfAny() {
        if (manager_ != nullptr) manager_->Lock().Unlock();
    }
    ManagerLockIfAny(const ManagerLockIfAny&) = delete;
    ManagerLockIfAny& operator=(const ManagerLockIfAny&) = delete;

private:
    LogManager* manager_;
};

std::uint64_t Join64(std::uint32_t low, std::uint32_t high) { return (std::uint64_t{high} << 32) | low; }

}  // namespace

// The entries only forward; the target's methods hold the logic and the locks.
const LogTargetInterface LogTarget::kInterfaceTable = {
    [](LogTargetInterface*) -> std::int32_t { return 1; },
    [](LogTargetInterface* self, std::int32_t level) { From(self).SetLevel(static_cast<LogLevel>(level)); },
    [](LogTargetInterface* self) -> std::int32_t { return static_cast<std::int32_t>(From(self).Level()); },
    [](LogTargetInterface* self, std::uint32_t includeLow, std::uint32_t includeHigh, std::uint32_t excludeLow,
       std::uint32_t excludeHigh) {
        From(self).SetCategories(Join64(includeLow, includeHigh), Join64(excludeLow, excludeHigh));
    },
    [](LogTargetInterface* self) -> std::uint64_t { return From(self).IncludeCategories(); },
    [](LogTargetInterface* self) -> std::uint64_t { return From(self).ExcludeCategories(); },
    [](LogTargetInterface* self) -> const char* { return From(self).Name(); },
    [](LogTargetInterface* self, const LogRecord* record) -> const char* {
        const LogRecord empty{};
        return From(self).TemplateForRecord(record != nullptr ? *record : empty);
    },
    [](LogTargetInterface* self) { From(self).Attach(); },
    [](LogTargetInterface* self) { From(self).Detach(); },
    [](LogTargetInterface* self) -> std::uint8_t { return From(self).IsAttached() ? 1 : 0; },
    [](LogTargetInterface* self, const LogRecord* record) -> std::uint8_t {
        return record != nullptr && From(self).Write(*record) ? 1 : 0;
    },
};

LogTarget& LogTarget::From(LogTargetInterface* table) {
    static_assert(offsetof(InterfaceSlot, table) == 0);
    return *reinterpret_cast<InterfaceSlot*>(table)->owner;
}

LogTarget::LogTarget() : interface_{kInterfaceTable, this} {}

LogTarget::~LogTarget() { DetachFromManager(); }

void LogTarget::Detach() { DetachFromManager(); }

void LogTarget::DetachFromManager() {
    LogManager* manager = LogManager::Instance();
    ManagerLockIfAny managerLock(manager);
    platform::LockGuard targetLock(lock_);
    attached_ = 0;
    if (manager != nullptr) manager->DetachTarget(Interface());
}

const char* LogTarget::Name() const { return kLogTargetName; }

const char* LogTarget::TemplateForRecord(const LogRecord&) const {
    platform::LockGuard guard(lock_);
    return template_.c_str();
}

bool LogTarget::Write(const LogRecord& record) {
    platform::LockGuard guard(lock_);
    try {
        return WriteRecord(record);
    } catch (...) {
        return false;  // a failure inside logging never reaches the caller
    }
}

void LogTarget::Attach() {
    LogManager* manager = LogManager::GetOrCreate();
    if (manager == nullptr) return;
    ManagerLockIfAny managerLock(manager);
    platform::LockGuard targetLock(lock_);
    if (attached_ != 0) return;
    attached_ = 1;
    manager->AttachTarget(Interface());
}

bool LogTarget::IsAttached() const {
    platform::LockGuard guard(lock_);
    return attached_ != 0;
}

void LogTarget::SetLevel(LogLevel level) {
    platform::LockGuard guard(lock_);
    level_ = level;
}

LogLevel LogTarget::Level() const {
    platform::LockGuard guard(lock_);
    return level_;
}

void LogTarget::SetCategories(std::uint64_t include, std::uint64_t exclude) {
    platform::LockGuard guard(lock_);
    exclude_ = exclude;
    include_ = include & ~exclude;
}

std::uint64_t LogTarget::IncludeCategories() const {
    platform::LockGuard guard(lock_);
    return include_;
}

std::uint64_t LogTarget::ExcludeCategories() const {
    platform::LockGuard guard(lock_);
    return exclude_;
}

void LogTarget::SetTemplate(std::string_view templateText) {
    platform::LockGuard guard(lock_);
    template_.assign(templateText.data(), templateText.size());
}

std::string LogTarget::Template() const {
    platform::LockGuard guard(lock_);
    return template_;
}

void LogTarget::Configure(const LogTargetConfig& config) {
    // Held across the whole sequence so no record is delivered half-configured.
    ManagerLockIfAny managerLock(LogManager::GetOrCreate());
    Detach();
    {
        platform::LockGuard guard(lock_);
        level_ = config.level;
        include_ = config.includeCategories;
        exclude_ = config.excludeCategories;
        template_ = config.templateText;
    }
    Attach();
    kInterfaceTable.setLevel(Interface(), static_cast<std::int32_t>(config.level));
    kInterfaceTable.setCategories(Interface(), static_cast<std::uint32_t>(config.includeCategories),
                                  static_cast<std::uint32_t>(config.includeCategories >> 32),
                                  static_cast<std::uint32_t>(config.excludeCategories),
                                  static_cast<std::uint32_t>(config.excludeCategories >> 32));
}

}  // namespace hpk
