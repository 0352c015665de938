// BindingHostDescription: the packed records that describe the plugin's
// functions, types and events to the host, built from registry snapshots.
// Record layouts are in boundary/abi/host_description.h.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/binding_function_info.h"
#include "binding/binding_type_info.h"
#include "boundary/abi/host_description.h"
#include "boundary/allocation_hooks.h"

namespace hpk {

// Every record kind is one contiguous array whose records are also chained
// through their first word (null in the last). All texts point into the
// registry's descriptions: the description must not outlive them. Owned by the
// registry (BuildHostDescription), which keeps it until the next build, a
// Clear or its destruction. Memory comes from the counting allocation hooks.
class BindingHostDescription {
public:
    // Functions, types and events in the order given; every pointer must stay
    // valid for the life of this object.
    BindingHostDescription(const std::vector<const BindingFunctionInfo*>& functions,
                           const std::vector<const BindingStructInfo*>& types,
                           const std::vector<const BindingEventInfo*>& events);
    BindingHostDescription(const BindingHostDescription&) = delete;
    BindingHostDescription& operator=(const BindingHostDescription&) = delete;

    // First record of each array, null when the array is empty.
    HostFunctionRecord* Functions() { return First(functions_); }
    HostTypeRecord* Types() { return First(types_); }
    HostEventRecord* Events() { return First(events_); }
    std::uint32_t FunctionCount() const { return static_cast<std::uint32_t>(functions_.size()); }
    std::uint32_t TypeCount() const { return static_cast<std::uint32_t>(types_.size()); }
    std::uint32_t EventCount() const { return static_cast<std::uint32_t>(events_.size()); }

    // The function record of that name, for copying into the endpoint record
    // of the same name (whose assembler then rewrites `next` and the user data
    // word); null when no function has that name.
    const HostFunctionRecord* FindFunctionRecord(std::string_view name) const;

    // Writes the type and event arrays and counts into `table`; the endpoint
    // fields are left to the endpoint assembler.
    void FillTable(HostTableRecord& table);

private:
    template <class T>
    using Array = std::vector<T, CountingAllocator<T>>;
    using TextArray = Array<const char*>;

    template <class T>
    static T* First(Array<T>& array) {
        return array.empty() ? nullptr : array.data();
    }
    template <class T>
    static void Chain(Array<T>& array);

    // Tag texts of one record; returns the array's first entry or null.
    const char* const* TagArray(const std::vector<std::string>& tags);
    void BuildFunction(HostFunctionRecord& record, const BindingFunctionInfo& function);
    void BuildType(HostTypeRecord& record, const BindingStructInfo& type);

    Array<HostFunctionRecord> functions_;
    Array<HostTypeRecord> types_;
    Array<HostEventRecord> events_;
    // Sub-arrays; their buffers do not move when the outer vectors grow.
    std::vector<Array<HostArgumentRecord>> arguments_;
    std::vector<Array<HostFieldRecord>> fields_;
    std::vector<Array<HostEnumeratorRecord>> enumerators_;
    std::vector<TextArray> tagArrays_;
};

}  // namespace hpk
