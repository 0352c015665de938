// CoreApi on the host's side: requests as read, subscriptions, events in both
// directions, yields, wait sections and log lines. The answers come from the
// resource store.
#include "host/host_core.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "diagnostics/positional_format.h"
#include "text/host_messages.h"
#include "host/host_platform.h"
#include "host/host_value_io.h"

namespace hpk::host {

namespace {

constexpr std::size_t kMaxName = 4096;
constexpr std::size_t kMaxLogLine = 1 << 20;
constexpr std::size_t kMaxUrl = 1 << 16;
constexpr std::uint32_t kMethodPost = 6;

// Reads a text the plugin passed; unreadable ones become a marker, so that
// the call is still recorded.
std::string Borrowed(const char* text, std::size_t maxLength, bool& ok) {
    std::string out;
    ok = ReadTextSafely(text, maxLength, out);
    return ok ? out : std::string(kMsgUnreadableText);
}

bool AllZero(const HostResponse& response) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&response);
    return std::all_of(bytes, bytes + sizeof(HostResponse), [](unsigned char b) { return b == 0; });
}

}  // namespace

std::string ResourceEventName(const std::string& uri) {
    // Segments are appended as they are found, up to three; the platform
    // configuration's namespaces differ only further down, so a URI whose
    // first segment names it keeps five.
    std::string name = "OnJsonApiEvent";
    std::size_t kept = 0;
    std::size_t limit = 3;
    for (std::size_t start = 0; start < uri.size() && kept < limit;) {
        const std::size_t end = std::min(uri.find('/', start), uri.size());
        if (end != start) {
            if (kept == 0 && uri.compare(start, end - start, "arx-platform-config") == 0) limit = 5;
            name.push_back('_');
            name.append(uri, start, end - start);
            ++kept;
        }
        start = end + 1;
    }
    return name;
}

std::string MethodText(std::uint32_t method) {
    static const char* const kNames[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT", ""};
    if (method <= 8) return kNames[method];
    return "#" + std::to_string(method);
}

std::string LogLevelText(std::int32_t level) {
    static const char* const kNames[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};
    if (level >= 0 && level <= 3) return kNames[level];
    return "level " + std::to_string(level);
}

HostCore::HostCore(Timeline& timeline, std::int32_t pluginHandle) : timeline_(timeline), store_(*this) {
    table_.api = CoreApi{&OnRequest, &OnSlot1, &OnPostEvent, &OnSubscribe, &OnUnsubscribe,
                         &OnSlot5,   &OnYield, &OnMarkBegin, &OnMarkEnd,   &OnLog};
    table_.owner = this;
    api_ = HostApi{&table_.api, pluginHandle};
}

HostCore& HostCore::From(CoreApi* self) {
    // `api` is the first member of Table, so the two addresses are one.
    return *reinterpret_cast<Table*>(self)->owner;
}

void HostCore::Listen(HostCoreListener* listener) {
    if (listener != nullptr) listeners_.push_back(listener);
}

void HostCore::StopListening(HostCoreListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

bool HostCore::IsSubscribed(const std::string& name) const {
    for (const Subscription& subscription : subscriptions_) {
        if (subscription.name == name) return true;
    }
    return false;
}

void HostCore::Problem(std::string text) {
    timeline_.Record("problem", text);
    problems_.push_back(std::move(text));
}

std::size_t HostCore::DeliverResourceEvent(const std::string& uri, const std::string& eventType,
                                           const BindingValue& data) {
    BindingValue payload;
    payload.MakeStructure();
    payload.Member("uri").SetString(uri);
    payload.Member("eventType").SetString(eventType);
    payload.Member("data").CopyFrom(data);
    const std::string name = ResourceEventName(uri);
    std::size_t reached = 0;
    for (const Subscription& subscription : subscriptions_) reached += subscription.name == name ? 1 : 0;
    std::string summary = eventType + " " + uri + " as " + name;
    if (reached == 0) summary += kMsgNobodySubscribes;
    timeline_.Record("event", summary, data, Facts({{"event", name}, {"uri", uri}, {"eventType", eventType}}));
    Deliver(name, payload);
    return reached;
}

std::size_t HostCore::DeliverEvent(const std::string& name, const BindingValue& payload) {
    std::size_t reached = 0;
    for (const Subscription& subscription : subscriptions_) reached += subscription.name == name ? 1 : 0;
    std::string summary = name;
    if (reached == 0) summary += kMsgNobodySubscribes;
    timeline_.Record("event", summary, payload, Facts({{"event", name}}));
    Deliver(name, payload);
    return reached;
}

std::size_t HostCore::DeliverRecord(const std::string& name, const HostValue& payload) {
    std::string summary = name;
    if (!IsSubscribed(name)) summary += kMsgNobodySubscribes;
    timeline_.Record("event", summary, {}, Facts({{"event", name}}));
    return DeliverBuilt(name, payload, nullptr);
}

void HostCore::Deliver(const std::string& name, const BindingValue& payload) {
    HostValue value{};
    if (Outcome<> built = BuildHostValue(value, payload); !built.IsOk()) {
        Problem(built.Error());
        return;
    }
    DeliverBuilt(name, value, &payload);
    ReleaseHostValue(value);
}

std::size_t HostCore::DeliverBuilt(const std::string& name, const HostValue& value, const BindingValue* payload) {
    // The plugin may subscribe or unsubscribe while it handles the event.
    std::vector<Subscription> targets;
    for (const Subscription& subscription : subscriptions_) {
        if (subscription.name == name) targets.push_back(subscription);
    }
    for (const Subscription& target : targets) {
        HostEvent event{name.c_str(), value, 0, target.context};
        Tell([&](HostCoreListener& listener) { listener.Delivering(name, payload); });
        {
            TimelineDepth depth(timeline_);
            target.callback(&event);
        }
        Tell([&](HostCoreListener& listener) { listener.Delivered(name); });
    }
    return targets.size();
}

void HostCore::ClearRecords() {
    posted_.clear();
    telemetry_.clear();
    requests_.clear();
    logs_.clear();
    problems_.clear();
}

void HostCore::OnRequest(CoreApi* self, HostResponse* response, const HostRequest* request) {
    HostCore& core = From(self);
    if (response == nullptr || request == nullptr || !IsReadable(request, sizeof(HostRequest)) ||
        !IsReadable(response, sizeof(HostResponse))) {
        core.Problem(kMsgRequestRecordUnreadable);
        return;
    }
    GuardedCall(core, [&] { core.HandleRequest(*response, *request); });
}

std::uint32_t HostCore::OnSlot1(CoreApi* self, std::uint32_t a, std::uint32_t) {
    From(self).Problem(FormatPositional(kMsgUnusedSlot, 1u));
    return a;
}

std::uint32_t HostCore::OnSlot5(CoreApi* self, std::uint32_t a, std::uint32_t, std::uint32_t, double, std::uint32_t) {
    From(self).Problem(FormatPositional(kMsgUnusedSlot, 5u));
    return a;
}

std::uint32_t HostCore::OnPostEvent(CoreApi* self, const HostOutgoingEvent* event) {
    HostCore& core = From(self);
    GuardedCall(core, [&] { core.PostEvent(event); });
    return 0;
}

void HostCore::PostEvent(const HostOutgoingEvent* event) {
    if (event == nullptr || !IsReadable(event, sizeof(HostOutgoingEvent))) {
        Problem(kMsgEventRecordUnreadable);
        return;
    }
    bool nameOk = false;
    std::string name = Borrowed(event->name, kMaxName, nameOk);
    PostedEvent posted;
    posted.name = name;
    posted.value = event->value;
    Outcome<BindingValue> payload = ReadHostValue(event->payload);
    if (!payload.IsOk()) {
        Problem(FormatPositional(kMsgPostedPayloadBroken, name, payload.Error()));
        return;
    }
    posted.payload = std::move(payload.Value());
    std::string summary = name;
    if (event->value != 0) summary += FormatPositional(kMsgPostedValue, event->value);
    timeline_.Record("post", summary, posted.payload, Facts({{"event", name}}));
    if (!nameOk) Problem(kMsgEventNameUnreadable);
    posted_.push_back(std::move(posted));
    Tell([&](HostCoreListener& listener) { listener.Posted(posted_.back()); });
    // Deliver it to whoever subscribed to it, as the client's host would.
    if (nameOk && IsSubscribed(name)) Deliver(name, posted_.back().payload);
}

std::uint32_t HostCore::OnSubscribe(CoreApi* self, const char* name, std::int32_t handle, HostEventCallback callback,
                                    void* context, std::uint32_t kind) {
    HostCore& core = From(self);
    ++core.subscribeCalls_;
    GuardedCall(core, [&] { core.Subscribe(name, handle, callback, context, kind); });
    return 1;
}

void HostCore::Subscribe(const char* name, std::int32_t handle, HostEventCallback callback, void* context,
                         std::uint32_t kind) {
    bool nameOk = false;
    Subscription subscription{Borrowed(name, kMaxName, nameOk), handle, callback, context, kind};
    // The table changes first: what follows only records the call, and the
    // memory for that may run out.
    bool twice = false;
    for (Subscription& existing : subscriptions_) {
        if (existing.name == subscription.name && existing.pluginHandle == handle) {
            existing = subscription;
            twice = true;
            break;
        }
    }
    if (!twice && nameOk && callback != nullptr) subscriptions_.push_back(subscription);
    Tell([&](HostCoreListener& listener) { listener.Subscribed(subscription); });
    const char* kindText = kind == 0 ? kMsgKindResource : kind == 1 ? kMsgKindServiceProxy : kMsgKindUnknown;
    timeline_.Record("subscribe", subscription.name + " (" + kindText + ")", {},
                     Facts({{"event", subscription.name}, {"eventKind", std::to_string(kind)}}));
    if (!nameOk) Problem(kMsgEventNameUnreadable);
    if (callback == nullptr) Problem(FormatPositional(kMsgSubscribeNoCallback, subscription.name));
    if (handle != api_.pluginHandle) {
        Problem(FormatPositional(kMsgWrongHandle, handle, api_.pluginHandle));
    }
    if (twice) Problem(FormatPositional(kMsgSubscribedTwice, subscription.name));
}

std::uint32_t HostCore::OnUnsubscribe(CoreApi* self, const char* name, std::int32_t handle) {
    HostCore& core = From(self);
    ++core.unsubscribeCalls_;
    std::uint32_t found = 0;
    GuardedCall(core, [&] { found = core.Unsubscribe(name, handle); });
    return found;
}

std::uint32_t HostCore::Unsubscribe(const char* name, std::int32_t handle) {
    bool nameOk = false;
    std::string text = Borrowed(name, kMaxName, nameOk);
    // The table changes first, as in Subscribe.
    auto found = std::find_if(subscriptions_.begin(), subscriptions_.end(), [&](const Subscription& subscription) {
        return subscription.name == text && subscription.pluginHandle == handle;
    });
    const bool known = found != subscriptions_.end();
    if (known) subscriptions_.erase(found);
    Tell([&](HostCoreListener& listener) { listener.Unsubscribed(text); });
    timeline_.Record("unsubscribe", text, {}, Facts({{"event", text}}));
    if (handle != api_.pluginHandle) {
        Problem(FormatPositional(kMsgWrongHandle, handle, api_.pluginHandle));
    }
    if (!known) Problem(FormatPositional(kMsgUnsubscribedUnknown, text));
    return known ? 1 : 0;
}

void HostCore::OnMarkBegin(CoreApi* self, const char* label, std::uint32_t value) {
    HostCore& core = From(self);
    GuardedCall(core, [&] {
        bool ok = false;
        std::string text = Borrowed(label, kMaxName, ok);
        core.marks_.push_back(text);
        core.Tell([&](HostCoreListener& listener) { listener.MarkBegun(text, value); });
        if (core.store_.StreamBeingRead()) return;  // counted with the stream instead
        core.timeline_.Record("wait", FormatPositional(kMsgMarkBegin, text, value));
    });
}

void HostCore::OnMarkEnd(CoreApi* self) {
    HostCore& core = From(self);
    GuardedCall(core, [&] {
        core.Tell([](HostCoreListener& listener) { listener.MarkEnded(); });
        if (core.marks_.empty()) {
            core.Problem(kMsgMarkEndUnopened);
            return;
        }
        std::string label = core.marks_.back();
        core.marks_.pop_back();
        if (core.store_.StreamBeingRead()) return;
        core.timeline_.Record("wait", FormatPositional(kMsgMarkEnd, label));
    });
}

void HostCore::OnLog(CoreApi* self, std::int32_t level, const char* message) {
    HostCore& core = From(self);
    GuardedCall(core, [&] {
        bool ok = false;
        LogLine line{level, Borrowed(message, kMaxLogLine, ok)};
        core.timeline_.Record("log", LogLevelText(level) + "  " + line.text, {},
                              Facts({{"level", LogLevelText(level)}, {"text", line.text}}));
        core.logs_.push_back(std::move(line));
        core.Tell([&](HostCoreListener& listener) { listener.Logged(core.logs_.back()); });
    });
}

void HostCore::OnYield(CoreApi* self) {
    HostCore& core = From(self);
    GuardedCall(core, [&core] {
        core.Tell([](HostCoreListener& listener) { listener.Yielded(); });
        if (!core.store_.YieldToStream()) core.timeline_.Record("yield", kMsgYield);
    });
}

void HostCore::HandleRequest(HostResponse& response, const HostRequest& request) {
    std::string url;
    const bool urlOk = ReadTextSafely(request.url, kMaxUrl, url);
    const std::string method = MethodText(request.method);
    if (!urlOk) {
        Problem(kMsgRequestUrlUnreadable);
        url = kMsgUnreadableText;
    }
    if (request.callerHandle != api_.pluginHandle) {
        Problem(FormatPositional(kMsgWrongHandle, request.callerHandle, api_.pluginHandle));
    }
    if (!AllZero(response)) Problem(FormatPositional(kMsgResponseNotZeroed, method, url));

    // Arguments: telemetry sends its fields as one positional map.
    std::vector<RequestArgument> read;
    BindingValue arguments;
    if (request.argumentCount != 0) {
        arguments.MakeCollection();
        if (!IsReadable(request.arguments, std::size_t{request.argumentCount} * sizeof(HostArgumentEntry))) {
            Problem(FormatPositional(kMsgArgumentsUnreadable, method, url));
        } else {
            for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
                RequestArgument& argument = read.emplace_back();
                std::string name;
                if (request.arguments[i].name != nullptr && ReadTextSafely(request.arguments[i].name, kMaxUrl, name)) {
                    argument.name = name;
                }
                Outcome<BindingValue> value = ReadHostValue(request.arguments[i].value);
                if (value.IsOk()) {
                    argument.value = std::move(value.Value());
                } else {
                    Problem(FormatPositional(kMsgArgumentBroken, method, url, value.Error()));
                }
                arguments.Append().CopyFrom(argument.value);
            }
        }
    }
    Tell([&](HostCoreListener& listener) { listener.Requested(request, url, read); });

    const bool telemetry = request.method == kMethodPost && url.rfind(kTelemetryPrefix, 0) == 0;
    if (telemetry) {
        TelemetryEvent event;
        event.name = url.substr(sizeof(kTelemetryPrefix) - 1);
        if (arguments.Size() == 1) event.fields.CopyFrom(arguments.Element(0));
        timeline_.Record("telemetry",
                         FormatPositional(kMsgTelemetrySummary, event.name, static_cast<unsigned>(event.fields.Size())),
                         event.fields, Facts({{"event", event.name}}));
        telemetry_.push_back(std::move(event));
    }

    BindingValue shownBody;
    std::string answer;
    std::memset(&response, 0, sizeof(HostResponse));
    bool layerAnswered = false;
    for (std::size_t i = 0; i < listeners_.size() && !layerAnswered; ++i) {
        layerAnswered = listeners_[i]->Answer(response, url);
    }
    // What was served, for the layers: the store's entry, or one made here.
    ResourceAnswer made;
    const ResourceAnswer* served = &made;
    if (layerAnswered) {
        answer = std::to_string(response.status);
        if (response.error != nullptr) answer += std::string(" ") + response.error;
        made.kind = response.error != nullptr ? ResourceAnswer::Kind::Error : ResourceAnswer::Kind::Value;
        made.status = response.status;
        if (response.error != nullptr) made.message = response.error;
    } else {
        answer = store_.Answer(response, method, url, shownBody, made, served);
    }
    ResourceStore::HandOver(response);
    requests_.push_back(RequestRecord{method, url, response.status, response.error != nullptr});
    Tell([&](HostCoreListener& listener) { listener.Answered(requests_.back(), *served); });
    BindingValue detail;
    detail.MakeStructure();
    detail.Member("method").SetString(method);
    detail.Member("url").SetString(url);
    detail.Member("status").SetSigned(response.status);
    if (response.error != nullptr) detail.Member("error").SetString(response.error);
    if (!arguments.IsEmpty() && !telemetry) detail.Member("arguments").CopyFrom(arguments);
    timeline_.Record("request", method + " " + url + "  ->  " + answer, std::move(shownBody), std::move(detail));
}

HostCore::~HostCore() = default;

void HostCore::Finish() {
    store_.CloseLeftStreams();
    for (const std::string& label : marks_) Problem(FormatPositional(kMsgMarkNotClosed, label));
    marks_.clear();
    store_.ReportUnreleased();
}

}  // namespace hpk::host
