// Registration of the content targeting records with a plugin's type
// registry, under the plugin's API name followed by the record name.
#pragma once
#include <string_view>

namespace hpk {
class BindingTypeRegistry;
}

namespace hpk::content_targeting {

// Registers the twelve records, nested types before the records that use
// them, fields in wire order with empty descriptions and no flags: a member
// missing from a payload keeps the field's default, and converting a record
// writes every field. Get-or-create: a second call changes nothing.
// "HpkBeArxContentTargeting" gives "HpkBeArxContentTargetingPlatformConfig".
void RegisterRecordTypes(BindingTypeRegistry& registry, std::string_view apiName);

}  // namespace hpk::content_targeting
