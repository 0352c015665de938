// The LogManagerApi table: each entry forwards to the log manager or to the
// layout functions. Entries that need a manager do nothing (or return null or
// the setting's default) while none exists, except log, which creates one.
#include <cstdarg>

#include "diagnostics/log_categories.h"
#include "diagnostics/log_manager.h"
#include "diagnostics/log_targets.h"
#include "diagnostics/log_template.h"

namespace hpk {
namespace {

std::uint64_t Join64(std::uint32_t low, std::uint32_t high) { return (std::uint64_t{high} << 32) | low; }

template <class F>
void WithManager(F&& action) {
    if (LogManager* manager = LogManager::Instance()) action(*manager);
}

const LogManagerApi kLogManagerApi = {
    []() -> std::int32_t { return 1; },
    []() { LogManager::Init(); },
    []() { LogManager::Shutdown(); },
    [](std::int32_t level) { WithManager([&](LogManager& m) { m.SetMinimumLevel(level); }); },
    []() -> std::int32_t {
        LogManager* manager = LogManager::Instance();
        return manager != nullptr ? manager->MinimumLevel() : 1;
    },
    [](std::uint32_t low, std::uint32_t high) {
        WithManager([&](LogManager& m) { m.SetSuppressedCategories(Join64(low, high)); });
    },
    []() -> std::uint64_t {
        LogManager* manager = LogManager::Instance();
        return manager != nullptr ? manager->SuppressedCategories() : kLogCategoryXtr;
    },
    []() { WithManager([](LogManager& m) { m.SetMuted(true); }); },
    []() { WithManager([](LogManager& m) { m.SetMuted(false); }); },
    []() { WithManager([](LogManager& m) { m.SetReservedFlag(true); }); },
    []() { WithManager([](LogManager& m) { m.SetReservedFlag(false); }); },
    [](LogTargetInterface* target) {
        if (LogManager* manager = LogManager::GetOrCreate()) manager->AttachTarget(target);
    },
    [](LogTargetInterface* target) { WithManager([&](LogManager& m) { m.DetachTarget(target); }); },
    [](const char* name) -> LogTargetInterface* {
        LogManager* manager = LogManager::Instance();
        return manager != nullptr ? manager->FindTarget(name) : nullptr;
    },
    []() -> LogTargetInterface* {
        LogManager* manager = LogManager::Instance();
        return manager != nullptr ? manager->StdOut().Interface() : nullptr;
    },
    []() -> LogTargetInterface* {
        LogManager* manager = LogManager::Instance();
        return manager != nullptr ? manager->StdErr().Interface() : nullptr;
    },
    []() -> LogTargetInterface* {
        LogManager* manager = LogManager::Instance();
        return manager != nullptr ? manager->Debugger().Interface() : nullptr;
    },
    [](const char* name, std::uint64_t* mask) {
        const std::uint64_t found = LogCategoryTable::Process().CategoryFromName(name);
        if (mask != nullptr) *mask = found;
    },
    [](char* out, std::uint32_t size, std::uint32_t low, std::uint32_t high) -> std::uint32_t {
        return static_cast<std::uint32_t>(LogCategoryTable::Process().Names(out, size, Join64(low, high)));
    },
    [](char* out, std::uint32_t size, const char* templateText, const LogRecord* record) -> std::uint32_t {
        const LogRecord empty{};
        LogManager* manager = LogManager::Instance();
        return static_cast<std::uint32_t>(
            ExpandLogTemplate(out, size, templateText, record != nullptr ? *record : empty,
                              manager != nullptr ? manager->ExecutableName() : kUnknownExecutableName));
    },
    [](std::int32_t level) -> const char* { return LevelName(level); },
    []() -> const char* {
        LogManager* manager = LogManager::Instance();
        return manager != nullptr ? manager->ExecutableName() : kUnknownExecutableName;
    },
    [](LogRecord* record) {
        if (record != nullptr) FillLocalTime(*record);
    },
    [](char* out, std::uint32_t size, const LogRecord* time) -> std::uint32_t {
        return time != nullptr ? static_cast<std::uint32_t>(FormatTimestamp(out, size, *time)) : 0;
    },
    [](char* out, std::uint32_t size, const LogRecord* time) -> std::uint32_t {
        return time != nullptr ? static_cast<std::uint32_t>(FormatFileTimestamp(out, size, *time)) : 0;
    },
    [](std::int32_t level, std::uint32_t low, std::uint32_t high, const char* format, va_list arguments) {
        LogMessageV(static_cast<LogLevel>(level), Join64(low, high), format, arguments);
    },
};

}  // namespace

const LogManagerApi& GetLogManagerApi() { return kLogManagerApi; }

}  // namespace hpk
