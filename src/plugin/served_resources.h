// Served resources: the endpoint records through which the host calls the
// plugin's registered functions, assembled at the handshake from the router's
// registrations and the registry's host description.
#pragma once
#include <memory>
#include <vector>

#include "boundary/abi/host_description.h"
#include "boundary/allocation_hooks.h"

namespace hpk {

class BindingRouter;

// Owns the endpoint records and their argument-location and text-list
// records. Lives until shutdown: the host reads them until then.
class ServedEndpoints {
public:
    template <class T>
    using Array = std::vector<T, CountingAllocator<T>>;

    Array<HostEndpointRecord> endpoints;
    std::vector<Array<HostArgumentLocationRecord>> argumentLocations;
    std::vector<Array<HostTextListRecord>> textLists;
    std::vector<Array<const char*>> texts;  // the text pointer arrays of the text lists
};

// Builds the host description and the endpoint records (one per registration,
// in registration order, chained) and fills `table` with them. The endpoint
// user data of each function gets the router and the registration; its pointer
// goes into the record's word at offset 8. Every record's request routine is
// the router's RequestCallback, guarded itself. Texts point into the router.
std::unique_ptr<ServedEndpoints> BuildHostTable(BindingRouter& router, HostTableRecord& table);

}  // namespace hpk
