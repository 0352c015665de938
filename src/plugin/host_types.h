// The host-side record types and events every plugin of this family registers
// at the handshake: resource events, plugin manager state, service-proxy and
// messaging records.
#pragma once

namespace hpk {

class BindingTypeRegistry;

// Get-or-create: registering into a registry that has them keeps the first.
void RegisterHostTypes(BindingTypeRegistry& registry);

}  // namespace hpk
