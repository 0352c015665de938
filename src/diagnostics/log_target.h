// The base of every log target: its settings, its lock, and the 12-entry
// interface table through which the log manager reaches it.
//
// Locks: the manager's lock is always taken before a target's lock. The manager
// delivers a record while holding its own lock, and `Write` then takes the
// target's lock, so a derived class's `WriteRecord` runs under both and never
// locks anything itself. Attach, detach and `Configure` take the manager's lock
// first for the same reason, so reconfiguring a target while another thread
// logs cannot deadlock.
//
// Deriving (for example a target that forwards lines to a host):
//   class HostLogTarget : public LogTarget {
//   public:
//       ~HostLogTarget() override { DetachFromManager(); }  // before our members go
//       const char* Name() const override { return "HostLogTarget"; }
//   protected:
//       bool WriteRecord(const LogRecord& record) override;   // no locking here
//   };
//   target.Configure({LogLevel::Okay, 0, 0, "#D| #L| #G| #M"});  // attaches it
// A target need not use its template: TemplateForRecord is there for those that do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "diagnostics/diagnostics_messages.h"
#include "diagnostics/log_interfaces.h"
#include "platform/platform.h"

namespace hpk {

// Everything a target is configured with at once.
struct LogTargetConfig {
    LogLevel level = LogLevel::Warn;
    std::uint64_t includeCategories = 0;  // 0: no restriction
    std::uint64_t excludeCategories = 0;
    std::string templateText = kDefaultLogTemplate;
};

class LogTarget {
public:
    LogTarget();
    // Detaches the target if the manager still lists it, so a destroyed target
    // is never written to. Derived classes whose write uses their own members
    // call DetachFromManager() in their own destructor, before those members go.
    virtual ~LogTarget();
    LogTarget(const LogTarget&) = delete;
    LogTarget& operator=(const LogTarget&) = delete;

    // Removes the target from the manager's list (every occurrence) and clears
    // the attached flag. Settings are kept.
    virtual void Detach();
    // Class name, compared byte for byte by the manager's find-by-name entry.
    virtual const char* Name() const;
    // The target's template; the record is not consulted. The pointer stays
    // valid until the template is changed.
    virtual const char* TemplateForRecord(const LogRecord& record) const;

    // Writes one record under the target's lock. Returns what WriteRecord returns.
    bool Write(const LogRecord& record);

    // Appends the target to the manager's list unless it is attached already;
    // creates the manager when there is none.
    void Attach();
    bool IsAttached() const;

    void SetLevel(LogLevel level);
    LogLevel Level() const;
    // Stores `exclude`, and `include` with every excluded bit cleared.
    void SetCategories(std::uint64_t include, std::uint64_t exclude);
    std::uint64_t IncludeCategories() const;
    std::uint64_t ExcludeCategories() const;
    void SetTemplate(std::string_view templateText);
    std::string Template() const;

    // Detaches, copies level, categories and template, attaches again, then
    // applies level and categories through the interface (so include loses the
    // excluded bits).
    void Configure(const LogTargetConfig& config);

    // The embedded table; the address the manager lists.
    LogTargetInterface* Interface() { return &interface_.table; }

protected:
    // Called by Write with the target's lock held (and, when the manager
    // delivers, the manager's lock too). Must not throw.
    virtual bool WriteRecord(const LogRecord& record) = 0;

    // The base detach, safe to call from a derived destructor.
    void DetachFromManager();
    // For settings of derived classes; take it only after the manager's lock, if at all.
    platform::RecursiveLock& TargetLock() const { return lock_; }

private:
    // The table must stay first, so the table's address leads back to the slot.
    struct InterfaceSlot {
        LogTargetInterface table;
        LogTarget* owner;
    };
    static LogTarget& From(LogTargetInterface* table);
    static const LogTargetInterface kInterfaceTable;

    InterfaceSlot interface_;
    std::uint8_t attached_ = 0;
    mutable platform::RecursiveLock lock_;
    LogLevel level_ = LogLevel::Warn;
    std::uint64_t include_ = 0;
    std::uint64_t exclude_ = 0;
    std::string template_ = kDefaultLogTemplate;
};

}  // namespace hpk
