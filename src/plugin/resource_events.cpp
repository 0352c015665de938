// Resource events: event names of URIs, counted subscriptions, the handler and
// listener tables, delivery of host events and publishing of our own changes.
#include <cstring>

#include "binding/fnv1a_hash.h"
#include "plugin/plugin_base.h"
#include "plugin/plugin_callbacks.h"
#include "plugin/plugin_messages.h"
#include "plugin/runtime_log.h"
#include "plugin/value_bridge.h"

namespace hpk {

std::size_t FnvStringHash::operator()(std::string_view text) const noexcept {
    return Fnv1a32(text.data(), text.size());  // every byte: names may hold NULs
}

std::string EventNameOfUri(std::string_view uri) {
    std::vector<std::string_view> pieces{kJsonApiEventName};
    std::size_t start = 0;
    while (start <= uri.size()) {
        std::size_t end = uri.find('/', start);
        if (end == std::string_view::npos) end = uri.size();
        if (end > start) pieces.push_back(uri.substr(start, end - start));
        start = end + 1;
    }
    // The platform configuration's namespaces are told apart only by their
    // fourth and fifth segments, so its events keep two more of them.
    const std::size_t keep = pieces.size() >= 2 && pieces[1] == "arx-platform-config" ? 6 : 4;
    if (pieces.size() > keep) pieces.resize(keep);
    std::string name;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) name += '_';
        name.append(pieces[i].data(), pieces[i].size());
    }
    return name;
}

bool UriMatchesPattern(std::string_view pattern, std::string_view uri) {
    std::size_t p = 0;
    std::size_t u = 0;
    while (p < pattern.size() && u < uri.size()) {
        if (pattern[p] != '*') {
            if (pattern[p] != uri[u]) return false;
            ++p;
            ++u;
        } else if (uri[u] == '/') {
            ++p;
        } else {
            ++u;
            if (u == uri.size()) ++p;
        }
    }
    return p == pattern.size() && u == uri.size();
}

void PluginBase::Subscribe(std::string_view uri) {
    const std::string name = EventNameOfUri(uri);
    std::int32_t& count = subscriptionCounts_[name];
    if (count++ != 0) return;
    Trace(kTraceSubscribing, fullName_.c_str(), name.c_str());
    RegisterEventHandler(name,
                         ResourceListener([this](const PluginResourceEvent& event) { DispatchResourceEvent(event); }));
}

void PluginBase::Unsubscribe(std::string_view uri) {
    const std::string name = EventNameOfUri(uri);
    auto found = subscriptionCounts_.find(name);
    // An unpaired Unsubscribe must not drive the count negative: the next
    // Subscribe would then never reach the host.
    if (found == subscriptionCounts_.end() || found->second <= 0) return;
    if (--found->second != 0) return;
    subscriptionCounts_.erase(found);
    CoreUnsubscribe(name.c_str(), pluginHandle_);
    eventHandlers_.erase(name);
    Trace(kTraceUnsubscribing, fullName_.c_str(), name.c_str());
}

void PluginBase::StoreEventHandler(std::string_view name, HandlerPtr entry) {
    const HostSubscriptionKind kind = entry->kind;
    // Assigning drops the table's reference to an earlier entry; a callback
    // still running holds its own.
    eventHandlers_[std::string(name)] = std::move(entry);
    const std::string key(name);
    CoreSubscribe(key.c_str(), pluginHandle_, HostEventCallbackFor(kind), this, kind);
}

void PluginBase::RegisterEventHandler(std::string_view name, ResourceListener handler) {
    auto entry = std::make_shared<EventHandlerEntry>();
    entry->kind = HostSubscriptionKind::Resource;
    entry->onResource = std::move(handler);
    StoreEventHandler(name, std::move(entry));
}

void PluginBase::RegisterEventHandler(std::string_view name, ServiceProxyHandler handler) {
    auto entry = std::make_shared<EventHandlerEntry>();
    entry->kind = HostSubscriptionKind::ServiceProxy;
    entry->onServiceProxy = std::move(handler);
    StoreEventHandler(name, std::move(entry));
}

void PluginBase::DeliverHostEvent(const HostEvent& event) {
    const char* name = event.name != nullptr ? event.name : "";
    auto found = eventHandlers_.find(std::string(name));
    if (found == eventHandlers_.end()) return;
    // Our own reference: the handler may replace or erase its table entry.
    const HandlerPtr entry = found->second;

    BindingResult decoded;
    DecodeHostValue(decoded, event.payload, kResultValuePath);
    if (!decoded.IsOk()) {
        Trace(kTraceBadPayload, fullName_.c_str(), "", name, decoded.ErrorText().c_str());
        return;
    }
    BindingResult converted;
    if (entry->kind == HostSubscriptionKind::ServiceProxy) {
        PluginServiceProxyResponse response;
        ReadNative(converted, response, decoded.Value(), kResultValuePath, Registry());
        if (!converted.IsOk()) {
            Trace(kTraceBadPayload, fullName_.c_str(), decoded.Value().Text().c_str(), name,
                  converted.ErrorText().c_str());
            return;
        }
        Trace(kTraceHandlingEvent, fullName_.c_str(), name);
        entry->onServiceProxy(response);  // an empty callable throws; the C shim drops the event
        return;
    }
    PluginResourceEvent resourceEvent;
    ReadNative(converted, resourceEvent, decoded.Value(), kResultValuePath, Registry());
    if (!converted.IsOk()) {
        Trace(kTraceBadPayload, fullName_.c_str(), decoded.Value().Text().c_str(), name, converted.ErrorText().c_str());
        return;
    }
    Trace(kTraceHandlingEvent, fullName_.c_str(), name);
    entry->onResource(resourceEvent);
}

void PluginBase::DispatchResourceEvent(const PluginResourceEvent& received) {
    const PluginResourceEvent* event = &received;
    PluginResourceEvent rooted;
    if (received.uri.empty() || received.uri.front() != '/') {
        rooted.uri = "/" + received.uri;
        rooted.eventType = received.eventType;
        rooted.data.CopyFrom(received.data);
        event = &rooted;
    }
    // Collect before calling: a listener may watch or unwatch, changing both
    // tables while we would still be walking them.
    std::vector<ListenerPtr> targets;
    auto exact = exactListeners_.find(event->uri);
    if (exact != exactListeners_.end()) targets.push_back(exact->second);
    for (const auto& [pattern, listener] : wildcardListeners_) {
        if (UriMatchesPattern(pattern, event->uri)) targets.push_back(listener);
    }
    for (const ListenerPtr& listener : targets) (*listener)(*event);
}

void PluginBase::Watch(std::string_view uri, ResourceListener listener) {
    const std::string key(uri);
    auto shared = std::make_shared<const ResourceListener>(std::move(listener));
    const bool pattern = key.find('*') != std::string::npos;
    if (pattern) {
        wildcardListeners_[key] = shared;
    } else {
        exactListeners_[key] = shared;
    }
    Subscribe(key);
    if (pattern) return;
    FetchResult fetched = FetchValue(RequestMethod::Get, key);
    if (!fetched.IsOk()) return;  // later events still arrive
    PluginResourceEvent initial;
    initial.uri = key;
    initial.eventType = PluginResourceEventType::Create;
    initial.data.MoveFrom(fetched.value);
    (*shared)(initial);
}

std::optional<std::string> PluginBase::PublishEvent(std::string_view baseName, const PluginResourceEvent& event,
                                                    std::uint32_t value) {
    BindingResult converted;
    WriteNative(converted, event, Registry());
    if (!converted.IsOk()) return converted.ErrorText();
    const std::string name = EventNameOfUri(event.uri);
    Trace(kTraceSendingEvent, fullName_.c_str(), name.c_str());
    HostValueOwner payload;
    if (auto failure = EncodeHostValue(payload.Get(), converted.Value(), &Registry())) {
        // Only memory can run out here, and the callers keep their failures to
        // the trace: without this line nobody would learn that a change went unannounced.
        LogRuntime(RuntimeLogLevel::Error, kLogEventNotSent, fullName_.c_str(), name.c_str(), failure->c_str());
        return failure;
    }

    HostOutgoingEvent outgoing{};
    outgoing.name = name.c_str();
    outgoing.payload = payload.Get();
    outgoing.value = value;
    CorePostEvent(outgoing);
    if (baseName != std::string_view(name)) {
        const std::string base(baseName);
        outgoing.name = base.c_str();
        CorePostEvent(outgoing);
    }
    return std::nullopt;
}

}  // namespace hpk
