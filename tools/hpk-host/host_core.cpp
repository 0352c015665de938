// CoreApi on the host's side: subscriptions, events in both directions,
// yields, wait sections and log lines. Answering requests is in
// host_responses.cpp.
#include "host_core.h"

#include <algorithm>
#include <utility>

#include "diagnostics/positional_format.h"
#include "host_messages.h"
#include "host_platform.h"
#include "host_value_io.h"

namespace hpk::host {

namespace {

constexpr std::size_t kMaxName = 4096;
constexpr std::size_t kMaxLogLine = 1 << 20;

// Reads a text the plugin passed; unreadable ones become a marker, so that
// the call is still recorded.
std::string Borrowed(const char* text, std::size_t maxLength, bool& ok) {
    std::string out;
    ok = ReadTextSafely(text, maxLength, out);
    return ok ? out : std::string(kMsgUnreadableText);
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

HostCore::HostCore(Timeline& timeline, std::int32_t pluginHandle) : timeline_(timeline) {
    table_.api = CoreApi{&OnRequest, &OnSlot1, &OnPostEvent, &OnSubscribe, &OnUnsubscribe,
                         &OnSlot5,   &OnYield, &OnMarkBegin, &OnMarkEnd,   &OnLog};
    table_.owner = this;
    api_ = HostApi{&table_.api, pluginHandle};
}

HostCore& HostCore::From(CoreApi* self) {
    // `api` is the first member of Table, so the two addresses are one.
    return *reinterpret_cast<Table*>(self)->owner;
}

void HostCore::Serve(const std::string& uri, const ResourceAnswer& answer) { store_[uri] = answer; }

void HostCore::Unserve(const std::string& uri) { store_.erase(uri); }

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

void HostCore::Deliver(const std::string& name, const BindingValue& payload) {
    HostValue value{};
    if (!BuildHostValue(value, payload)) {
        Problem(kMsgOutOfMemory);
        return;
    }
    // The plugin may subscribe or unsubscribe while it handles the event.
    std::vector<Subscription> targets;
    for (const Subscription& subscription : subscriptions_) {
        if (subscription.name == name) targets.push_back(subscription);
    }
    for (const Subscription& target : targets) {
        HostEvent event{name.c_str(), value, 0, target.context};
        TimelineDepth depth(timeline_);
        target.callback(&event);
    }
    ReleaseHostValue(value);
}

void HostCore::OnRequest(CoreApi* self, HostResponse* response, const HostRequest* request) {
    HostCore& core = From(self);
    if (response == nullptr || request == nullptr || !IsReadable(request, sizeof(HostRequest)) ||
        !IsReadable(response, sizeof(HostResponse))) {
        core.Problem(kMsgRequestRecordUnreadable);
        return;
    }
    core.HandleRequest(*response, *request);
}

std::uint32_t HostCore::OnSlot1(CoreApi* self, std::uint32_t a, std::uint32_t) {
    From(self).Problem(FormatPositional(kMsgUnusedSlot, 1u));
    return a;
}

std::uint32_t HostCore::OnSlot5(CoreApi* self, std::uint32_t a, std::uint32_t, std::uint32_t, double,
                                std::uint32_t) {
    From(self).Problem(FormatPositional(kMsgUnusedSlot, 5u));
    return a;
}

std::uint32_t HostCore::OnPostEvent(CoreApi* self, const HostOutgoingEvent* event) {
    HostCore& core = From(self);
    if (event == nullptr || !IsReadable(event, sizeof(HostOutgoingEvent))) {
        core.Problem(kMsgEventRecordUnreadable);
        return 0;
    }
    bool nameOk = false;
    std::string name = Borrowed(event->name, kMaxName, nameOk);
    PostedEvent posted;
    posted.name = name;
    std::string error;
    if (!ReadHostValue(posted.payload, event->payload, error)) {
        core.Problem(FormatPositional(kMsgPostedPayloadBroken, name, error));
        return 0;
    }
    std::string summary = name;
    if (event->value != 0) summary += FormatPositional(kMsgPostedValue, event->value);
    core.timeline_.Record("post", summary, posted.payload, Facts({{"event", name}}));
    if (!nameOk) core.Problem(kMsgEventNameUnreadable);
    core.posted_.push_back(std::move(posted));
    // Deliver it to whoever subscribed to it, as the client's host would.
    if (nameOk && core.IsSubscribed(name)) core.Deliver(name, core.posted_.back().payload);
    return 0;
}

std::uint32_t HostCore::OnSubscribe(CoreApi* self, const char* name, std::int32_t handle,
                                    HostEventCallback callback, void* context, std::uint32_t kind) {
    HostCore& core = From(self);
    ++core.subscribeCalls_;
    bool nameOk = false;
    Subscription subscription{Borrowed(name, kMaxName, nameOk), handle, callback, context, kind};
    const char* kindText = kind == 0 ? kMsgKindResource : kind == 1 ? kMsgKindServiceProxy : kMsgKindUnknown;
    core.timeline_.Record("subscribe", subscription.name + " (" + kindText + ")",
                          {}, Facts({{"event", subscription.name}, {"eventKind", std::to_string(kind)}}));
    if (!nameOk) core.Problem(kMsgEventNameUnreadable);
    if (callback == nullptr) core.Problem(FormatPositional(kMsgSubscribeNoCallback, subscription.name));
    if (handle != core.api_.pluginHandle) {
        core.Problem(FormatPositional(kMsgWrongHandle, handle, core.api_.pluginHandle));
    }
    for (Subscription& existing : core.subscriptions_) {
        if (existing.name == subscription.name && existing.pluginHandle == handle) {
            core.Problem(FormatPositional(kMsgSubscribedTwice, subscription.name));
            existing = subscription;
            return 1;
        }
    }
    if (nameOk && callback != nullptr) core.subscriptions_.push_back(subscription);
    return 1;
}

std::uint32_t HostCore::OnUnsubscribe(CoreApi* self, const char* name, std::int32_t handle) {
    HostCore& core = From(self);
    ++core.unsubscribeCalls_;
    bool nameOk = false;
    std::string text = Borrowed(name, kMaxName, nameOk);
    core.timeline_.Record("unsubscribe", text, {}, Facts({{"event", text}}));
    if (handle != core.api_.pluginHandle) {
        core.Problem(FormatPositional(kMsgWrongHandle, handle, core.api_.pluginHandle));
    }
    for (auto it = core.subscriptions_.begin(); it != core.subscriptions_.end(); ++it) {
        if (it->name == text && it->pluginHandle == handle) {
            core.subscriptions_.erase(it);
            return 1;
        }
    }
    core.Problem(FormatPositional(kMsgUnsubscribedUnknown, text));
    return 0;
}

void HostCore::OnMarkBegin(CoreApi* self, const char* label, std::uint32_t value) {
    HostCore& core = From(self);
    bool ok = false;
    std::string text = Borrowed(label, kMaxName, ok);
    core.marks_.push_back(text);
    if (core.reading_ != nullptr) return;  // counted with the stream instead
    core.timeline_.Record("wait", FormatPositional(kMsgMarkBegin, text, value));
}

void HostCore::OnMarkEnd(CoreApi* self) {
    HostCore& core = From(self);
    if (core.marks_.empty()) {
        core.Problem(kMsgMarkEndUnopened);
        return;
    }
    std::string label = core.marks_.back();
    core.marks_.pop_back();
    if (core.reading_ != nullptr) return;
    core.timeline_.Record("wait", FormatPositional(kMsgMarkEnd, label));
}

void HostCore::OnLog(CoreApi* self, std::int32_t level, const char* message) {
    HostCore& core = From(self);
    bool ok = false;
    LogLine line{level, Borrowed(message, kMaxLogLine, ok)};
    core.timeline_.Record("log", LogLevelText(level) + "  " + line.text, {},
                          Facts({{"level", LogLevelText(level)}, {"text", line.text}}));
    core.logs_.push_back(std::move(line));
}

}  // namespace hpk::host
