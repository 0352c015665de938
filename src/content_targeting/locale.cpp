// Locale choice: the player's language wins; otherwise the mapping entry of
// the player's country, when the configuration enables it.
#include "content_targeting/locale.h"

namespace hpk::content_targeting {
namespace {

constexpr std::string_view kMappingEnabled = "Enabled";
constexpr std::string_view kMappingLocale = "Locale";

}  // namespace

void ResolveLocale(std::string& locale, const LocaleInputs& inputs) {
    if (!inputs.enabled || inputs.regionLocale.empty()) return;
    if (!inputs.selectedLanguage.empty() && inputs.selectedLanguage != kAutoLanguage) {
        locale.assign(inputs.selectedLanguage);
        return;
    }
    const BindingValue& mapping = inputs.localeMapping;
    if (mapping.IsEmpty() || inputs.geoInfo.IsUnknown()) return;
    // Keys are country codes exactly as the geographic service spells them.
    if (!mapping.HasMember(inputs.geoInfo.country)) return;
    const BindingValue& entry = mapping.Member(inputs.geoInfo.country);
    // A string "true" or a number is not an opt-in: only the boolean counts.
    const BindingValue& enabled = entry.Member(kMappingEnabled);
    if (enabled.Kind() != BindingValueKind::Bool || !enabled.AsBool()) return;
    if (!entry.HasMember(kMappingLocale)) return;
    const BindingValue& chosen = entry.Member(kMappingLocale);
    locale.assign(chosen.Kind() == BindingValueKind::String ? chosen.AsString() : std::string_view());
}

std::string SelectedLanguageText(const BindingValue& member) {
    if (member.Kind() == BindingValueKind::String) return std::string(member.AsString());
    return member.Text();
}

}  // namespace hpk::content_targeting
