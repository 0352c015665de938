// The registry's tables and builder handles. Only table access happens under
// the mutex; building descriptions and host records happens outside it.
#include "binding/type_registry.h"

#include <utility>

#include "binding/builtin_types.h"
#include "binding/host_description.h"

namespace hpk {
namespace {

// Every table starts small and grows at a load factor of 1.
constexpr std::size_t kInitialBuckets = 8;

template <class Table>
void PrepareTable(Table& table) {
    table.max_load_factor(1.0f);
    table.rehash(kInitialBuckets);
}

template <class T>
std::vector<const T*> Snapshot(platform::RecursiveLock& mutex,
                               const std::unordered_map<std::string_view, std::unique_ptr<T>, Fnv1aHasher>& table) {
    platform::LockGuard lock(mutex);
    std::vector<const T*> copy;
    copy.reserve(table.size());
    for (const auto& entry : table) copy.push_back(entry.second.get());
    return copy;
}

}  // namespace

BindingTypeBuilder::~BindingTypeBuilder() {
    // shrink_to_fit keeps the table as it is when the smaller copy cannot be
    // made, so running out of memory here costs nothing.
    if (!existed_ && info_ != nullptr && info_->fields.capacity() > info_->fields.size()) info_->fields.shrink_to_fit();
}

BindingTypeBuilder& BindingTypeBuilder::AddField(std::string_view name, std::string_view description,
                                                 std::uint32_t offset, const BindingTypeRecord& record,
                                                 const BindingTypeIdentifier& type,
                                                 const BindingTypeIdentifier& exportType, std::uint8_t flags,
                                                 std::unique_ptr<BindingFieldConverter> converter, bool optional) {
    if (existed_) return *this;
    BindingFieldInfo field;
    field.name = std::string(name);
    field.nameHash = Fnv1a32(name);
    field.description = std::string(description);
    field.record = &record;
    field.offset = offset;
    field.type = type;
    if (exportType.kind != BindingTypeKind::None) field.exportType = exportType;
    field.flags = flags;
    field.converter = std::move(converter);
    field.owner = info_;
    field.optional = optional;
    info_->fields.push_back(std::move(field));
    lastOffset_ = offset;
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::AddEnumerator(std::string_view name, std::int32_t value,
                                                      std::string_view description) {
    if (existed_) return *this;
    auto it = info_->enumerators.find(name);
    if (it == info_->enumerators.end())
        it = info_->enumerators.emplace(std::string(name), BindingEnumeratorInfo{}).first;
    it->second.value = value;
    it->second.name = std::string(name);
    it->second.description = std::string(description);
    it->second.owner = info_;
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::SetDescription(std::string_view description) {
    if (!existed_) info_->description = std::string(description);
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::SetNameSpace(std::string_view nameSpace) {
    if (!existed_) info_->nameSpace = std::string(nameSpace);
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::AddTag(std::string_view tag) {
    if (!existed_ && !tag.empty()) info_->tags.emplace_back(tag);
    return *this;
}

BindingEventBuilder& BindingEventBuilder::SetDescription(std::string_view description) {
    if (!existed_) info_->description = std::string(description);
    return *this;
}

BindingEventBuilder& BindingEventBuilder::SetNameSpace(std::string_view nameSpace) {
    if (!existed_) info_->nameSpace = std::string(nameSpace);
    return *this;
}

BindingEventBuilder& BindingEventBuilder::AddTag(std::string_view tag) {
    if (!existed_ && !tag.empty()) info_->tags.emplace_back(tag);
    return *this;
}

BindingTypeRegistry::BindingTypeRegistry() {
    PrepareTable(functions_);
    PrepareTable(events_);
    PrepareTable(typesByName_);
    PrepareTable(typesByIdentifier_);
    RegisterBuiltinTypes(*this);
}

BindingTypeRegistry::~BindingTypeRegistry() = default;

BindingTypeBuilder BindingTypeRegistry::RegisterType(std::uint32_t size, std::string_view name,
                                                     const BindingTypeRecord& record, bool isEnumeration) {
    platform::LockGuard lock(mutex_);
    const auto found = typesByName_.find(name);
    if (found != typesByName_.end()) return BindingTypeBuilder(found->second.get(), true);

    auto info = std::make_unique<BindingStructInfo>();
    info->size = size;
    info->isEnumeration = isEnumeration;
    info->name = std::string(name);
    info->identifier = record.identifier;
    info->record = &record;
    info->registry = this;
    BindingStructInfo* raw = info.get();
    typesByName_.emplace(std::string_view(raw->name), std::move(info));
    if (record.identifier != kReservedTypeIdentifier) typesByIdentifier_[record.identifier] = raw;
    return BindingTypeBuilder(raw, false);
}

BindingEventBuilder BindingTypeRegistry::RegisterEvent(std::string_view name, const BindingTypeRecord& payloadRecord) {
    const BindingStructInfo* payload = FindType(payloadRecord);
    platform::LockGuard lock(mutex_);
    const auto found = events_.find(name);
    if (found != events_.end()) return BindingEventBuilder(found->second.get(), true);
    auto info = std::make_unique<BindingEventInfo>();
    info->name = std::string(name);
    info->payload = payload;
    BindingEventInfo* raw = info.get();
    events_.emplace(std::string_view(raw->name), std::move(info));
    return BindingEventBuilder(raw, false);
}

BindingFunctionInfo* BindingTypeRegistry::RegisterFunction(std::unique_ptr<BindingFunctionInfo> function) {
    if (function == nullptr) return nullptr;
    platform::LockGuard lock(mutex_);
    if (functions_.find(function->name) != functions_.end()) return nullptr;
    BindingFunctionInfo* raw = function.get();
    functions_.emplace(std::string_view(raw->name), std::move(function));
    ++registeredFunctions_;
    return raw;
}

std::uint32_t BindingTypeRegistry::RegisteredFunctionCount() const {
    platform::LockGuard lock(mutex_);
    return registeredFunctions_;
}

const BindingStructInfo* BindingTypeRegistry::FindType(const BindingTypeRecord& record) const {
    platform::LockGuard lock(mutex_);
    const auto found = typesByIdentifier_.find(record.identifier);
    return found == typesByIdentifier_.end() ? nullptr : found->second;
}

const BindingStructInfo* BindingTypeRegistry::FindType(const BindingTypeRecord* record) const {
    return record == nullptr ? nullptr : FindType(*record);
}

const BindingStructInfo* BindingTypeRegistry::FindTypeByName(std::string_view name) const {
    platform::LockGuard lock(mutex_);
    const auto found = typesByName_.find(name);
    return found == typesByName_.end() ? nullptr : found->second.get();
}

const BindingFunctionInfo* BindingTypeRegistry::FindFunction(std::string_view name) const {
    platform::LockGuard lock(mutex_);
    const auto found = functions_.find(name);
    return found == functions_.end() ? nullptr : found->second.get();
}

const BindingEventInfo* BindingTypeRegistry::FindEvent(std::string_view name) const {
    platform::LockGuard lock(mutex_);
    const auto found = events_.find(name);
    return found == events_.end() ? nullptr : found->second.get();
}

std::vector<const BindingFunctionInfo*> BindingTypeRegistry::FunctionsSnapshot() const {
    return Snapshot(mutex_, functions_);
}
std::vector<const BindingStructInfo*> BindingTypeRegistry::TypesSnapshot() const {
    return Snapshot(mutex_, typesByName_);
}
std::vector<const BindingEventInfo*> BindingTypeRegistry::EventsSnapshot() const { return Snapshot(mutex_, events_); }

void BindingTypeRegistry::UnregisterFunction(const BindingFunctionInfo* function) {
    if (function == nullptr) return;
    std::unique_ptr<BindingFunctionInfo> removed;  // destroyed after the lock is released
    platform::LockGuard lock(mutex_);
    const auto found = functions_.find(function->name);
    if (found == functions_.end() || found->second.get() != function) return;
    removed = std::move(found->second);
    functions_.erase(found);
}

void BindingTypeRegistry::Clear() {
    std::unique_ptr<BindingHostDescription> description;
    NameTable<BindingEventInfo> events;
    NameTable<BindingStructInfo> types;
    NameTable<BindingFunctionInfo> functions;
    {
        platform::LockGuard lock(mutex_);
        // The host records point into the descriptions, so they go first.
        description = std::move(hostDescription_);
        events.swap(events_);
        typesByIdentifier_.clear();
        types.swap(typesByName_);
        functions.swap(functions_);
        PrepareTable(events_);
        PrepareTable(typesByName_);
        PrepareTable(typesByIdentifier_);
        PrepareTable(functions_);
    }
    // Destroyed outside the lock, in the documented order: a function's handler
    // may run arbitrary code in its destructor.
    description.reset();
    events.clear();
    types.clear();
    functions.clear();
}

void BindingTypeRegistry::Reset() {
    Clear();
    RegisterBuiltinTypes(*this);
    ready_ = true;
}

BindingHostDescription& BindingTypeRegistry::BuildHostDescription() {
    auto built = std::make_unique<BindingHostDescription>(FunctionsSnapshot(), TypesSnapshot(), EventsSnapshot());
    std::unique_ptr<BindingHostDescription> previous;
    platform::LockGuard lock(mutex_);
    previous = std::move(hostDescription_);
    hostDescription_ = std::move(built);
    return *hostDescription_;
}

BindingHostDescription* BindingTypeRegistry::HostDescription() const {
    platform::LockGuard lock(mutex_);
    return hostDescription_.get();
}

const char* BindingTypeRegistry::EnumeratorName(const BindingTypeRecord* type, std::int32_t value) const {
    const BindingStructInfo* info = FindType(type);
    if (info == nullptr || !info->isEnumeration) return nullptr;
    const BindingEnumeratorInfo* enumerator = info->EnumeratorByValue(value);
    return enumerator == nullptr ? nullptr : enumerator->name.c_str();
}

}  // namespace hpk
