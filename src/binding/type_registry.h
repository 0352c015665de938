// BindingTypeRegistry: the plugin's registered types, functions and events,
// looked up by name or by native type record, behind one mutex. Registration
// helpers for C++ records are in type_registration.h; conversion in
// binding_convert.h.
//
// Lock: one mutex guards every table, held only for the lookup, insertion,
// snapshot or removal itself, never during a conversion or a build. A
// description is filled through its builder right after registration on the
// registering thread and is read-only from then on.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_function_info.h"
#include "binding/binding_type_info.h"
#include "platform/platform.h"
#include "binding/fnv1a_hash.h"
#include "binding/host_value_convert.h"

namespace hpk {

class BindingHostDescription;

// Builder handle returned by RegisterType. When the name was already
// registered, Existed() is true and every call on the handle does nothing, so
// the first description is kept whole. Calls return the handle for chaining.
class BindingTypeBuilder {
public:
    BindingTypeBuilder(BindingStructInfo* info, bool existed) : info_(info), existed_(existed) {}
    // Gives back the field table's spare capacity: a type's fields are added
    // once, through one handle, and the doubling growth would otherwise keep
    // up to half the table unused for the plugin's whole life.
    ~BindingTypeBuilder();
    BindingTypeBuilder(const BindingTypeBuilder&) = default;
    BindingTypeBuilder& operator=(const BindingTypeBuilder&) = default;

    bool Existed() const { return existed_; }
    // The registered description (the earlier one when Existed()).
    const BindingStructInfo* Info() const { return info_; }
    // Offset of the last field added through this handle.
    std::uint32_t LastOffset() const { return lastOffset_; }

    // Appends a field; `exportType` is kept only when its kind is not None.
    BindingTypeBuilder& AddField(std::string_view name, std::string_view description, std::uint32_t offset,
                                 const BindingTypeRecord& record, const BindingTypeIdentifier& type,
                                 const BindingTypeIdentifier& exportType, std::uint8_t flags,
                                 std::unique_ptr<BindingFieldConverter> converter, bool optional);
    // Inserts an enumerator; one of the same name is overwritten.
    BindingTypeBuilder& AddEnumerator(std::string_view name, std::int32_t value, std::string_view description = {});
    BindingTypeBuilder& SetDescription(std::string_view description);
    BindingTypeBuilder& SetNameSpace(std::string_view nameSpace);
    BindingTypeBuilder& AddTag(std::string_view tag);  // an empty tag is ignored

private:
    BindingStructInfo* info_;
    bool existed_;
    std::uint32_t lastOffset_ = 0;
};

// Builder handle returned by RegisterEvent; same rules as BindingTypeBuilder.
class BindingEventBuilder {
public:
    BindingEventBuilder(BindingEventInfo* info, bool existed) : info_(info), existed_(existed) {}

    bool Existed() const { return existed_; }
    const BindingEventInfo* Info() const { return info_; }
    BindingEventBuilder& SetDescription(std::string_view description);
    BindingEventBuilder& SetNameSpace(std::string_view nameSpace);
    BindingEventBuilder& AddTag(std::string_view tag);  // an empty tag is ignored

private:
    BindingEventInfo* info_;
    bool existed_;
};

// One per plugin; the request router derives from it to add its endpoint
// tables (guard them with TableMutex()). Created with the built-in types
// already registered. Descriptions are owned here and live until Clear(),
// Reset() or destruction; pointers to them stay valid until then.
class BindingTypeRegistry : public EnumNameSource {
public:
    BindingTypeRegistry();
    ~BindingTypeRegistry() override;
    BindingTypeRegistry(const BindingTypeRegistry&) = delete;
    BindingTypeRegistry& operator=(const BindingTypeRegistry&) = delete;

    // Get-or-create by name. A new description is entered under its name and,
    // unless `record` is the reserved one, under the record's identifier (where
    // it replaces the description of an earlier name with the same record).
    BindingTypeBuilder RegisterType(std::uint32_t size, std::string_view name, const BindingTypeRecord& record,
                                    bool isEnumeration);
    // Get-or-create by name. The payload description is looked up by record
    // now; it is null when that type is not registered (yet).
    BindingEventBuilder RegisterEvent(std::string_view name, const BindingTypeRecord& payloadRecord);
    // Enters `function` by name and returns it. A name that is already taken is
    // a configuration mistake: `function` is dropped and null returned, so
    // nothing that points at the registered one (endpoint registrations) dangles.
    [[nodiscard]] BindingFunctionInfo* RegisterFunction(std::unique_ptr<BindingFunctionInfo> function);
    // Number of RegisterFunction calls that entered a function.
    std::uint32_t RegisteredFunctionCount() const;

    // Lookups; null when absent. The reserved record is never found.
    const BindingStructInfo* FindType(const BindingTypeRecord& record) const;
    const BindingStructInfo* FindType(const BindingTypeRecord* record) const;
    const BindingStructInfo* FindTypeByName(std::string_view name) const;
    const BindingFunctionInfo* FindFunction(std::string_view name) const;
    const BindingEventInfo* FindEvent(std::string_view name) const;

    // Copies of the tables, each taken under the mutex, in table order.
    std::vector<const BindingFunctionInfo*> FunctionsSnapshot() const;
    std::vector<const BindingStructInfo*> TypesSnapshot() const;
    std::vector<const BindingEventInfo*> EventsSnapshot() const;

    // Removes and destroys `function`; unknown pointers are ignored.
    void UnregisterFunction(const BindingFunctionInfo* function);
    // Destroys every event, then every type, then every function, and the host
    // description built from them. Overrides must call the base.
    virtual void Clear();
    // Clear, register the built-in types again, mark ready.
    void Reset();
    bool IsReady() const { return ready_; }

    // Builds the packed host description from snapshots of the tables and
    // keeps it, replacing an earlier one, until the next build, Clear or
    // destruction. Every event's payload type should be registered before.
    BindingHostDescription& BuildHostDescription();
    // The last build; null before the first.
    BindingHostDescription* HostDescription() const;

    // Value to name for an enumeration registered under `type`: the first name
    // in name order with that value; null when none (or not registered).
    const char* EnumeratorName(const BindingTypeRecord* type, std::int32_t value) const override;

protected:
    // The one registry mutex, for tables that derived classes add.
    platform::RecursiveLock& TableMutex() const { return mutex_; }

private:
    template <class T>
    using NameTable = std::unordered_map<std::string_view, std::unique_ptr<T>, Fnv1aHasher>;

    // The platform's lock (not std::mutex, which with the Windows threads
    // library takes a heap block on first use and never gives it back).
    mutable platform::RecursiveLock mutex_;
    NameTable<BindingFunctionInfo> functions_;  // keys view the descriptions' names
    NameTable<BindingEventInfo> events_;
    NameTable<BindingStructInfo> typesByName_;
    std::unordered_map<std::uint32_t, BindingStructInfo*, Fnv1aHasher> typesByIdentifier_;
    std::uint32_t registeredFunctions_ = 0;
    std::unique_ptr<BindingHostDescription> hostDescription_;
    bool ready_ = false;
};

}  // namespace hpk
