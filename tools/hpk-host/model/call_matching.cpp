// Matching the plugin's calls, in order, against the model's: each call out
// of a call into the plugin is taken when the model makes the same call at
// that point; requests hand the model what the host answered and the events
// delivered while the plugin waited. Also what is served after each step.
#include "model/feature_model.h"

#include <algorithm>

#include "diagnostics/positional_format.h"
#include "host/expectations.h"
#include "model/model_messages.h"
#include "text/json_text.h"

namespace hpk::host {

namespace {

constexpr char kGenericEvent[] = "OnJsonApiEvent";
constexpr char kTelemetryUrl[] = "/telemetry/v1/events/hpk_be_arx_content_targeting";

const char* EventTypeText(std::int32_t type) {
    static const char* const kNames[] = {"Create", "Update", "Delete"};
    return type >= 0 && type <= 2 ? kNames[type] : "?";
}

// Whether two values are the same: kinds, scalars, elements in order, and
// members by name.
bool SameValue(const BindingValue& a, const BindingValue& b) {
    if (a.Kind() != b.Kind() || a.Size() != b.Size()) return false;
    switch (a.Kind()) {
        case BindingValueKind::Empty: return true;
        case BindingValueKind::Bool: return a.AsBool() == b.AsBool();
        case BindingValueKind::Signed: return a.AsSigned() == b.AsSigned();
        case BindingValueKind::Unsigned: return a.AsUnsigned() == b.AsUnsigned();
        case BindingValueKind::Float: return a.AsFloat() == b.AsFloat();
        case BindingValueKind::String: return a.AsString() == b.AsString();
        case BindingValueKind::Collection:
            for (std::size_t i = 0; i < a.Size(); ++i) {
                if (!SameValue(a.Element(i), b.Element(i))) return false;
            }
            return true;
        case BindingValueKind::Structure: {
            bool same = true;
            a.ForEachMember([&](std::string_view key, const BindingValue& member) {
                same = same && b.HasMember(key) && SameValue(member, b.Member(key));
            });
            return same;
        }
        default: return a.Text() == b.Text();
    }
}

// A whole number as the plugin writes one: "-" when negative, no padding.
bool ReadMilliseconds(std::string_view text, long long& out) {
    std::size_t at = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (at == text.size() || (text[at] == '0' && text.size() > at + 1)) return false;
    long long value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9' || value > 100'000'000'000'000LL) return false;
        value = value * 10 + (text[at] - '0');
    }
    out = text[0] == '-' ? -value : value;
    return true;
}

}  // namespace

std::string StepLabel(std::size_t step) {
    return step == 0 ? std::string(kMsgStartUp) : FormatPositional(kMsgStepLabel, static_cast<unsigned>(step));
}

void FeatureModel::BeginStep(std::size_t number) {
    step_ = number;
    stepDisagreements_.clear();
}

void FeatureModel::Disagree(const std::string& what) {
    if (diverged_) return;  // after the first, the model only follows
    diverged_ = true;
    disagreement_ =
        FormatPositional(kMsgDisagreement, StepLabel(step_), frames_.empty() ? "" : Context(frames_.back()), what);
    stepDisagreements_.push_back(disagreement_);
}

std::string FeatureModel::Context(const Frame& frame) const {
    if (frame.call == nullptr) return kMsgContextServed;
    switch (frame.call->kind) {
        case ObservedCall::Kind::Init: return kMsgContextInit;
        case ObservedCall::Kind::Delivery: {
            if (!frame.call->payloadRead) return FormatPositional(kMsgContextDelivery, frame.call->name);
            Outcome<ModelEvent> read = ReadEvent(frame.call->payload);
            if (!read.IsOk()) return FormatPositional(kMsgContextDelivery, frame.call->name);
            ModelEvent& event = read.Value();
            if (event.uri.empty() || event.uri[0] != '/') event.uri.insert(0, "/");
            return FormatPositional(kMsgContextDelivery, std::string(EventTypeText(event.eventType)) + " " + event.uri);
        }
        default: return kMsgContextOutside;
    }
}

std::string FeatureModel::Describe(const ObservedCall& call) const {
    if (call.kind == ObservedCall::Kind::Request) return "requested " + call.method + " " + call.name;
    return "posted " + call.name + " " + JsonText(call.payload.Member("data"), JsonLayout::Compact);
}

void FeatureModel::Observed(const ObservedCall& call) {
    clockLow_ = call.clockBegin;
    clockHigh_ = call.clockEnd;
    if (call.kind == ObservedCall::Kind::Delivery) {
        Deliver(call);
    } else {
        RunFrame(call);
    }
}

void FeatureModel::RunFrame(const ObservedCall& call) {
    frames_.push_back(Frame{&call.inside, 0, &call});
    if (call.kind == ObservedCall::Kind::Init) Initialize();
    if (const ObservedCall* extra = PeekCall(); extra != nullptr && !diverged_) {
        Disagree(FormatPositional(kMsgDisagreeExtra, Describe(*extra)));
    }
    frames_.pop_back();
}

const ObservedCall* FeatureModel::PeekCall() {
    // Events delivered back to the plugin (its own posts, were it subscribed
    // to them) are handled where they happened, before its next call.
    for (;;) {
        Frame& frame = frames_.back();
        if (frame.next >= frame.calls->size()) return nullptr;
        const ObservedCall& call = (*frame.calls)[frame.next];
        if (call.kind != ObservedCall::Kind::Delivery) return &call;
        ++frame.next;
        Deliver(call);
    }
}

const ObservedCall* FeatureModel::ExpectRequest(const std::string& method, const std::string& url) {
    const ObservedCall* call = PeekCall();
    auto matches = [&](const ObservedCall& c) {
        return c.kind == ObservedCall::Kind::Request && c.method == method && c.name == url;
    };
    if (call != nullptr && matches(*call)) {
        ++frames_.back().next;
        return call;
    }
    const std::string expected = "request " + method + " " + url;
    Disagree(call != nullptr ? FormatPositional(kMsgDisagreeCall, Describe(*call), expected)
                             : FormatPositional(kMsgDisagreeMissing, expected));
    // Follow the plugin: take the request further on, if it made it.
    Frame& frame = frames_.back();
    for (std::size_t i = frame.next; i < frame.calls->size(); ++i) {
        if (matches((*frame.calls)[i])) {
            frame.next = i + 1;
            return &(*frame.calls)[i];
        }
    }
    return nullptr;
}

void FeatureModel::ExpectPublication(const std::string& uri, const std::vector<BindingValue>& candidates,
                                     const std::function<std::string()>& derivation, std::size_t& chosen) {
    chosen = candidates.size();
    const std::string name = ResourceEventName(uri);
    auto expected = [&] {
        const std::string why = derivation();
        return "post " + name + " " + JsonText(candidates.front(), JsonLayout::Compact) +
               (why.empty() ? "" : " (" + why + ")");
    };
    const BindingValue* first = nullptr;
    for (const char* posted : {name.c_str(), kGenericEvent}) {
        const ObservedCall* call = PeekCall();
        if (call == nullptr || call->kind != ObservedCall::Kind::Post || call->name != posted) {
            Disagree(call != nullptr ? FormatPositional(kMsgDisagreeCall, Describe(*call), expected())
                                     : FormatPositional(kMsgDisagreeMissing, expected()));
            return;
        }
        ++frames_.back().next;
        // Both posts carry one payload: the first one's, one of the candidates.
        const BindingValue& payload = call->payload;
        bool same = payload.Kind() == BindingValueKind::Structure && payload.Size() == 3 &&
                    payload.Member("uri").AsString() == uri && payload.Member("eventType").AsString() == "Update";
        if (same && first == nullptr) {
            for (std::size_t i = 0; i < candidates.size() && chosen == candidates.size(); ++i) {
                if (SameValue(payload.Member("data"), candidates[i])) chosen = i;
            }
            same = chosen < candidates.size();
            first = &payload;
        } else if (same) {
            same = SameValue(payload, *first);
        }
        if (!same) {
            chosen = candidates.size();
            Disagree(
                FormatPositional(kMsgDisagreePostData, posted, JsonText(payload, JsonLayout::Compact), expected()));
            return;
        }
    }
}

void FeatureModel::ExpectTelemetry() {
    const ObservedCall* call = ExpectRequest("POST", kTelemetryUrl);
    if (call == nullptr) return;
    for (const ObservedCall& nested : call->inside) Deliver(nested);
    const BindingValue& fields = call->payload;
    if (call->arguments != 1 || fields.Kind() != BindingValueKind::Structure) {
        Disagree(kMsgDisagreeTelemetryShape);
        return;
    }
    for (const auto& [name, expected] : state_.telemetry) {
        if (!fields.HasMember(name)) {
            Disagree(FormatPositional(kMsgDisagreeTelemetryMissing, name));
            return;
        }
        const std::string_view text = fields.Member(name).AsString();
        long long number = 0;
        const bool ok =
            fields.Member(name).Kind() == BindingValueKind::String &&
            (expected.exact ? text == expected.text
                            : ReadMilliseconds(text, number) && number >= expected.low && number <= expected.high);
        if (!ok) {
            Disagree(FormatPositional(kMsgDisagreeTelemetryValue, name, text, TelemetryReason(name, expected)));
            return;
        }
    }
    fields.ForEachMember([&](std::string_view key, const BindingValue&) {
        if (state_.telemetry.count(std::string(key)) == 0) {
            Disagree(FormatPositional(kMsgDisagreeTelemetryExtra, key));
        }
    });
}

void FeatureModel::Deliver(const ObservedCall& delivery) {
    frames_.push_back(Frame{&delivery.inside, 0, &delivery});
    const bool subscribed = std::find(subscribed_.begin(), subscribed_.end(), delivery.name) != subscribed_.end();
    if (subscribed && delivery.payloadRead) {
        if (Outcome<ModelEvent> read = ReadEvent(delivery.payload); read.IsOk()) {
            ModelEvent& event = read.Value();
            if (event.uri.empty() || event.uri[0] != '/') event.uri.insert(0, "/");
            auto listener = listeners_.find(event.uri);
            if (listener != listeners_.end()) Handle(listener->second, event.eventType, event.data, false);
        }
    }
    if (const ObservedCall* extra = PeekCall(); extra != nullptr && !diverged_) {
        Disagree(FormatPositional(kMsgDisagreeExtra, Describe(*extra)));
    }
    frames_.pop_back();
}

// --- What is served -------------------------------------------------------------------

void FeatureModel::CompareServed(const std::string* filtersJson, const std::string* localeJson) {
    if (diverged_) return;
    frames_.push_back(Frame{nullptr, 0, nullptr});
    if (filtersJson_.empty()) {
        for (const std::vector<std::string>& list : state_.filters) {
            filtersJson_.push_back(JsonText(FiltersValue(list), JsonLayout::Compact));
        }
    }
    if (filtersJson != nullptr) {
        const auto match = std::find(filtersJson_.begin(), filtersJson_.end(), *filtersJson);
        if (match == filtersJson_.end()) {
            std::string expected = filtersJson_.front();
            if (state_.filtersPublished) {
                expected += " (" + JoinTexts(DeriveFilters(state_.filtersFrom, true).reasons, "; ") + ")";
            }
            Disagree(FormatPositional(kMsgDisagreeServed, kFiltersUri, *filtersJson, expected));
        } else if (filtersJson_.size() > 1) {
            // The plugin has shown which of the two it took.
            const auto chosen = static_cast<std::size_t>(match - filtersJson_.begin());
            state_.filters = {state_.filters[chosen]};
            filtersJson_ = {filtersJson_[chosen]};
        }
    }
    if (localeJson_.empty()) {
        BindingValue expected;
        expected.Member("locale").SetString(state_.locale);
        localeJson_ = JsonText(expected, JsonLayout::Compact);
    }
    if (localeJson != nullptr && !diverged_ && *localeJson != localeJson_) {
        Disagree(FormatPositional(kMsgDisagreeServed, kLocaleUri, *localeJson,
                                  localeJson_ + (state_.localeReason.empty() ? "" : " (" + state_.localeReason + ")")));
    }
    frames_.pop_back();
}

}  // namespace hpk::host
