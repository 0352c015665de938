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

std::string FeatureModel::Where() const { return StepLabel(step_); }

void FeatureModel::Disagree(const std::string& what) {
    if (diverged_) return;  // after the first, the model only follows
    diverged_ = true;
    disagreement_ = FormatPositional(kMsgDisagreement, Where(), frames_.empty() ? "" : frames_.back().context, what);
    stepDisagreements_.push_back(disagreement_);
}

std::string FeatureModel::Describe(const ObservedCall& call) const {
    if (call.kind == ObservedCall::Kind::Request) return "requested " + call.method + " " + call.name;
    return "posted " + call.name + " " + JsonText(call.payload.Member("data"), JsonLayout::Compact);
}

void FeatureModel::Observed(const ObservedCall& call) {
    clockLow_ = call.clockBegin;
    clockHigh_ = call.clockEnd;
    switch (call.kind) {
        case ObservedCall::Kind::Init: RunFrame(call, kMsgContextInit); return;
        case ObservedCall::Kind::Delivery: Deliver(call); return;
        default: RunFrame(call, kMsgContextOutside); return;
    }
}

void FeatureModel::RunFrame(const ObservedCall& call, std::string context) {
    frames_.push_back(Frame{&call.inside, 0, std::move(context)});
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
                                     const std::string& derivation, std::size_t& chosen) {
    chosen = candidates.size();
    const std::string name = ResourceEventName(uri);
    std::vector<std::string> payloads;
    for (const BindingValue& data : candidates) {
        BindingValue payload;
        payload.Member("uri").SetString(uri);
        payload.Member("eventType").SetString("Update");
        payload.Member("data").CopyFrom(data);
        payloads.push_back(JsonText(payload, JsonLayout::Compact));
    }
    const std::string expectedData =
        JsonText(candidates.front(), JsonLayout::Compact) + (derivation.empty() ? "" : " (" + derivation + ")");
    const std::string expected = "post " + name + " " + expectedData;
    for (const char* posted : {name.c_str(), kGenericEvent}) {
        const ObservedCall* call = PeekCall();
        if (call == nullptr || call->kind != ObservedCall::Kind::Post || call->name != posted) {
            Disagree(call != nullptr ? FormatPositional(kMsgDisagreeCall, Describe(*call), expected)
                                     : FormatPositional(kMsgDisagreeMissing, expected));
            return;
        }
        ++frames_.back().next;
        const std::string text = JsonText(call->payload, JsonLayout::Compact);
        const auto found = std::find(payloads.begin(), payloads.end(), text);
        // Both posts carry one payload, the one the first chose.
        if (found == payloads.end() ||
            (chosen < candidates.size() && static_cast<std::size_t>(found - payloads.begin()) != chosen)) {
            Disagree(FormatPositional(kMsgDisagreePostData, posted, JsonText(call->payload.Member("data"), JsonLayout::Compact),
                                      expectedData));
            return;
        }
        chosen = static_cast<std::size_t>(found - payloads.begin());
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
        const std::string text(fields.Member(name).AsString());
        long long number = 0;
        const bool ok = fields.Member(name).Kind() == BindingValueKind::String &&
                        (expected.exact ? text == expected.text
                                        : ReadMilliseconds(text, number) && number >= expected.low &&
                                              number <= expected.high);
        if (!ok) {
            Disagree(FormatPositional(kMsgDisagreeTelemetryValue, name, text, expected.reason));
            return;
        }
    }
    fields.ForEachMember([&](std::string_view key, const BindingValue&) {
        if (state_.telemetry.count(std::string(key)) == 0) {
            Disagree(FormatPositional(kMsgDisagreeTelemetryExtra, std::string(key)));
        }
    });
}

void FeatureModel::Deliver(const ObservedCall& delivery) {
    ModelEvent event;
    std::string why;
    const bool readable = delivery.payloadRead && ReadEvent(event, delivery.payload, why);
    if (readable && (event.uri.empty() || event.uri[0] != '/')) event.uri.insert(0, "/");
    const std::string what = readable ? std::string(EventTypeText(event.eventType)) + " " + event.uri : delivery.name;
    frames_.push_back(Frame{&delivery.inside, 0, FormatPositional(kMsgContextDelivery, what)});
    const bool subscribed = std::find(subscribed_.begin(), subscribed_.end(), delivery.name) != subscribed_.end();
    if (readable && subscribed) {
        auto listener = listeners_.find(event.uri);
        if (listener != listeners_.end()) {
            Handle(listener->second, event.eventType, event.data, FormatPositional(kMsgWhereUpdate, Where()), false);
        }
    }
    if (const ObservedCall* extra = PeekCall(); extra != nullptr && !diverged_) {
        Disagree(FormatPositional(kMsgDisagreeExtra, Describe(*extra)));
    }
    frames_.pop_back();
}

void FeatureModel::CompareServed(const std::string* filtersJson, const std::string* localeJson) {
    if (diverged_) return;
    frames_.push_back(Frame{nullptr, 0, kMsgContextServed});
    if (filtersJson != nullptr) {
        const std::string& served = *filtersJson;
        std::size_t match = state_.filters.size();
        for (std::size_t i = 0; i < state_.filters.size(); ++i) {
            if (JsonText(FiltersValue(state_.filters[i]), JsonLayout::Compact) == served) match = i;
        }
        if (match == state_.filters.size()) {
            std::string expected = JsonText(FiltersValue(state_.filters.front()), JsonLayout::Compact);
            if (!state_.filterReasons.empty()) expected += " (" + JoinTexts(state_.filterReasons, "; ") + ")";
            Disagree(FormatPositional(kMsgDisagreeServed, kFiltersUri, served, expected));
        } else {
            state_.filters = {state_.filters[match]};
        }
    }
    if (localeJson != nullptr && !diverged_) {
        BindingValue expected;
        expected.Member("locale").SetString(state_.locale);
        const std::string& served = *localeJson;
        if (served != JsonText(expected, JsonLayout::Compact)) {
            Disagree(FormatPositional(kMsgDisagreeServed, kLocaleUri, served,
                                      JsonText(expected, JsonLayout::Compact) +
                                          (state_.localeReason.empty() ? "" : " (" + state_.localeReason + ")")));
        }
    }
    frames_.pop_back();
}

}  // namespace hpk::host
