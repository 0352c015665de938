// The log manager: creation with the default targets, settings, the target
// list and the delivery of each message.
#include "diagnostics/log_manager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "diagnostics/diagnostics_messages.h"
#include "diagnostics/log_template.h"
#include "diagnostics/log_targets.h"
#include "platform/thread_local.h"

namespace hpk {
namespace {

constexpr std::size_t kMessageBufferSize = 4096;

std::atomic<LogManager*> gManager{nullptr};
std::atomic<std::int32_t> gReferenceCount{0};

// Serialises creation and destruction only, so two first log calls on two
// threads cannot build two managers. Logging itself never takes it.
platform::RecursiveLock& LifetimeLock() {
    static platform::RecursiveLock lock;
    return lock;
}

// Set while this thread delivers a record: a target that logs from inside its
// own write would otherwise recurse without end.
HPK_THREAD_LOCAL bool tDelivering = false;

}  // namespace

LogManager* LogManager::Instance() { return gManager.load(std::memory_order_acquire); }

LogManager* LogManager::GetOrCreate() {
    LogManager* manager = Instance();
    if (manager != nullptr) return manager;
    platform::LockGuard guard(LifetimeLock());
    manager = Instance();
    return manager != nullptr ? manager : Create();
}

LogManager* LogManager::Create() {
    LogManager* manager = new (std::nothrow) LogManager();
    if (manager == nullptr) return nullptr;
    try {
        manager->stdErr_.reset(new StdErrLogTarget());
        manager->stdOut_.reset(new StdOutLogTarget());
        manager->debugger_.reset(new DebuggerConsoleLogTarget());
    } catch (...) {
        delete manager;
        return nullptr;
    }
    manager->stdErr_->SetTemplate(kConsoleLogTemplate);
    manager->stdErr_->SetCategories(kLogCategoryDbg, kLogCategoryGen);
    manager->stdErr_->SetLevel(LogLevel::Warn);
    manager->stdOut_->SetTemplate(kMessageOnlyLogTemplate);
    manager->stdOut_->SetCategories(kLogCategoryGen, kLogCategoryDbg);
    manager->stdOut_->SetLevel(LogLevel::Warn);
    manager->stdOut_->SetFlushFlag(0);
    manager->debugger_->SetTemplate(kConsoleLogTemplate);
    manager->debugger_->SetCategories(kLogCategoryDbg, 0);
    manager->debugger_->SetLevel(LogLevel::Warn);
    manager->ReadExecutablePath();
    gManager.store(manager, std::memory_order_release);
    manager->stdErr_->Attach();
    manager->debugger_->Attach();
    return manager;
}

LogManager::LogManager() : executableName_(kUnknownExecutableName) {}

LogManager::~LogManager() {
    DetachAll();
    // Debugger, standard output, standard error: each detaches itself first.
    debugger_.reset();
    stdOut_.reset();
    stdErr_.reset();
}

void LogManager::ReadExecutablePath() {
    platform::LockGuard guard(lock_);
    if (platform::ModuleFileName(executablePath_, sizeof executablePath_) == 0) return;
    executablePath_[sizeof executablePath_ - 1] = '\0';
    const char* name = executablePath_;
    // The image path uses "\" on Windows; "/" covers the Linux build.
    for (const char* p = executablePath_; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    executableName_ = name;
}

void LogManager::DetachAll() {
    platform::LockGuard guard(lock_);
    // Reverse order, through each target's own detach, so flags are cleared too.
    while (!targets_.empty()) {
        LogTargetInterface* target = targets_.back();
        target->detach(target);
        // A foreign table whose detach does not call back must still leave the list.
        if (!targets_.empty() && targets_.back() == target) DetachTarget(target);
    }
}

void LogManager::Init() {
    platform::LockGuard guard(LifetimeLock());
    if (gReferenceCount.fetch_add(1) == 0) GetOrCreate();
}

void LogManager::Shutdown() {
    platform::LockGuard guard(LifetimeLock());
    std::int32_t count = gReferenceCount.load();
    do {
        if (count <= 0) return;
    } while (!gReferenceCount.compare_exchange_weak(count, count - 1));
    if (count != 1) return;
    LogManager* manager = Instance();
    if (manager == nullptr) return;
    // Unpublished first, so nothing new can find a manager that is going away;
    // the destructor detaches the listed targets itself.
    gManager.store(nullptr, std::memory_order_release);
    delete manager;
}

void LogManager::SetMinimumLevel(std::int32_t level) {
    platform::LockGuard guard(lock_);
    minimumLevel_ = level;
}

std::int32_t LogManager::MinimumLevel() const {
    platform::LockGuard guard(lock_);
    return minimumLevel_;
}

void LogManager::SetSuppressedCategories(std::uint64_t categories) {
    platform::LockGuard guard(lock_);
    suppressed_ = categories;
}

std::uint64_t LogManager::SuppressedCategories() const {
    platform::LockGuard guard(lock_);
    return suppressed_;
}

void LogManager::SetMuted(bool muted) {
    platform::LockGuard guard(lock_);
    muted_ = muted ? 1 : 0;
}

bool LogManager::Muted() const {
    platform::LockGuard guard(lock_);
    return muted_ != 0;
}

void LogManager::SetReservedFlag(bool set) {
    platform::LockGuard guard(lock_);
    reservedFlag_ = set ? 1 : 0;
}

void LogManager::AttachTarget(LogTargetInterface* target) {
    if (target == nullptr) return;
    platform::LockGuard guard(lock_);
    try {
        targets_.push_back(target);
        // Room for Log's copy of the list now, so that delivery never allocates.
        delivery_.reserve(targets_.size());
    } catch (...) {
        // Out of memory: the target stays unlisted; logging must not throw.
        if (!targets_.empty() && targets_.back() == target && delivery_.capacity() < targets_.size()) {
            targets_.pop_back();
        }
    }
}

void LogManager::DetachTarget(LogTargetInterface* target) {
    platform::LockGuard guard(lock_);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        if (targets_[i] != target) targets_[kept++] = targets_[i];
    }
    targets_.resize(kept);
}

LogTargetInterface* LogManager::FindTarget(const char* name) {
    if (name == nullptr) return nullptr;
    platform::LockGuard guard(lock_);
    for (LogTargetInterface* target : targets_) {
        const char* targetName = target->name(target);
        if (targetName != nullptr && std::strcmp(targetName, name) == 0) return target;
    }
    return nullptr;
}

std::vector<LogTargetInterface*> LogManager::AttachedTargets() const {
    platform::LockGuard guard(lock_);
    return targets_;
}

bool LogManager::Accepts(LogTargetInterface* target, std::int32_t level, std::uint64_t categories) {
    if (level < target->getLevel(target)) return false;
    if (categories == 0) return true;
    if ((categories & target->getExcludeCategories(target)) != 0) return false;
    const std::uint64_t include = target->getIncludeCategories(target);
    return include == 0 || (categories & include) != 0;
}

void LogManager::Log(std::int32_t level, std::uint64_t categories, const char* format, va_list arguments) {
    if (format == nullptr || tDelivering) return;
    platform::LockGuard guard(lock_);
    // Filtering comes before any formatting.
    if (muted_ != 0 || level < minimumLevel_ || (categories & suppressed_) != 0) return;
    char message[kMessageBufferSize];
    if (std::vsnprintf(message, sizeof message, format, arguments) < 0) message[0] = '\0';
    message[sizeof message - 1] = '\0';
    LogRecord record{};
    FillLocalTime(record);
    record.level = level;
    record.categories = categories;
    record.message = message;
    tDelivering = true;
    // A target may detach itself or another while it writes, or reconfigure
    // itself, which moves it to the end of the list: walking the list itself
    // would then skip the next target or reach this one twice. The record goes
    // to the targets listed now, each while it is still listed at its turn; one
    // attached meanwhile gets the next record. By index: an attach inside a
    // write may move the copy's storage (never its contents).
    delivery_.assign(targets_.begin(), targets_.end());
    for (std::size_t i = 0, count = delivery_.size(); i < count; ++i) {
        LogTargetInterface* target = delivery_[i];
        if (std::find(targets_.begin(), targets_.end(), target) == targets_.end()) continue;
        if (Accepts(target, level, categories)) target->write(target, &record);
    }
    tDelivering = false;
}

void LogMessageV(LogLevel level, std::uint64_t categories, const char* format, va_list arguments) {
    LogManager* manager = LogManager::GetOrCreate();
    if (manager != nullptr) manager->Log(static_cast<std::int32_t>(level), categories, format, arguments);
}

void LogMessage(LogLevel level, std::uint64_t categories, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    LogMessageV(level, categories, format, arguments);
    va_end(arguments);
}

}  // namespace hpk
