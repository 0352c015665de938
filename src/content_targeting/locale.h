// The content locale as a pure choice over the plugin's inputs. Publishing
// and the change detection around it are the plugin's
// (content_targeting_plugin.h).
#pragma once
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "content_targeting/records.h"

namespace hpk::content_targeting {

// The player's setting that defers to the per-country mapping. Compared
// byte for byte: "AUTO" is an ordinary language.
inline constexpr std::string_view kAutoLanguage = "auto";

// Everything one evaluation reads. Borrowed for the call.
struct LocaleInputs {
    bool enabled;                            // the configuration's master switch
    std::string_view regionLocale;           // readiness signal only; never served
    std::string_view selectedLanguage;       // the player's own choice, may be empty
    const hpk::BindingValue& localeMapping;  // parsed mapping; empty until one parsed
    const Vela::Client::Api::GeoInfo& geoInfo;
};

// Sets `locale` to the evaluation's result, or leaves it as it is when the
// evaluation is skipped: the locale is sticky, so a missing input or an
// unusable mapping entry never clears an earlier choice. The mapping applies
// only to an entry keyed exactly like the country, whose "Enabled" is the
// boolean true; a "Locale" that is not a string serves the empty string.
void ResolveLocale(std::string& locale, const LocaleInputs& inputs);

// The text a settings member is stored as: a string unchanged, other kinds in
// their quoting form (a boolean becomes "true" or "false").
std::string SelectedLanguageText(const hpk::BindingValue& member);

}  // namespace hpk::content_targeting
