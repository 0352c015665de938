// Served resources: the endpoint records through which the host calls the
// plugin's registered functions, assembled at the handshake from the router's
// registrations and the registry's host description.
#pragma once
#include <vector>

#include "boundary/abi/host_description.h"
#include "boundary/allocation_hooks.h"

namespace hpk {

class BindingRouter;

// Owns the host table with its endpoint records and their argument-location
// and text-list records. Lives until shutdown: the host reads them until then.
class ServedResources {
public:
    // Builds the host description and the endpoint records (one per
    // registration, in registration order, chained) and fills the table with
    // them. The endpoint user data of each function gets the router and the
    // registration; its pointer goes into the record's word at offset 8. Every
    // record's request routine is the router's RequestCallback, guarded itself.
    // Texts point into the router. Called once, at the handshake.
    void Build(BindingRouter& router);
    // Zero until built.
    const HostTableRecord& Table() const { return table_; }
    HostTableRecord& Table() { return table_; }

private:
    template <class T>
    using Array = std::vector<T, CountingAllocator<T>>;

    HostTableRecord table_{};
    Array<HostEndpointRecord> endpoints_;
    std::vector<Array<HostArgumentLocationRecord>> argumentLocations_;
    std::vector<Array<HostTextListRecord>> textLists_;
    std::vector<Array<const char*>> texts_;  // the text pointer arrays of the text lists
};

}  // namespace hpk
