// Resource events: event names of URIs, counted subscriptions, the handler and
// listener tables, delivery of host events and publishing of our own changes.
#include "plugin/resource_events.h"

#include "binding/host_value_convert.h"
#include "binding/type_registry.h"
#include "boundary/boundary_messages.h"
#include "plugin/plugin_messages.h"
#include "plugin/runtime_log.h"

namespace hpk {

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

void ResourceEvents::Subscribe(std::string_view uri) {
    const std::string name = EventNameOfUri(uri);
    std::int32_t& count = subscriptionCounts_[name];
    if (count++ != 0) return;
    context_.Trace(kTraceSubscribing, context_.fullName.c_str(), name.c_str());
    RegisterEventHandler(name,
                         ResourceListener([this](const PluginResourceEvent& event) { DispatchResourceEvent(event); }));
}

void ResourceEvents::Unsubscribe(std::string_view uri) {
    const std::string name = EventNameOfUri(uri);
    auto found = subscriptionCounts_.find(name);
    // An unpaired Unsubscribe must not drive the count negative: the next
    // Subscribe would then never reach the host.
    if (found == subscriptionCounts_.end() || found->second <= 0) return;
    if (--found->second != 0) return;
    subscriptionCounts_.erase(found);
    context_.host.CoreUnsubscribe(name.c_str(), context_.pluginHandle);
    eventHandlers_.erase(name);
    context_.Trace(kTraceUnsubscribing, context_.fullName.c_str(), name.c_str());
}

void ResourceEvents::StoreEventHandler(std::string_view name, HandlerPtr entry) {
    const HostSubscriptionKind kind = entry->kind;
    // Assigning drops the table's reference to an earlier entry; a callback
    // still running holds its own.
    eventHandlers_[std::string(name)] = std::move(entry);
    const std::string key(name);
    const HostEventCallback callback = kind == HostSubscriptionKind::ServiceProxy ? context_.serviceProxyEventCallback
                                                                                  : context_.resourceEventCallback;
    context_.host.CoreSubscribe(key.c_str(), context_.pluginHandle, callback, context_.plugin, kind);
}

void ResourceEvents::RegisterEventHandler(std::string_view name, ResourceListener handler) {
    auto entry = std::make_shared<EventHandlerEntry>();
    entry->kind = HostSubscriptionKind::Resource;
    entry->onResource = std::move(handler);
    StoreEventHandler(name, std::move(entry));
}

void ResourceEvents::RegisterEventHandler(std::string_view name, ServiceProxyHandler handler) {
    auto entry = std::make_shared<EventHandlerEntry>();
    entry->kind = HostSubscriptionKind::ServiceProxy;
    entry->onServiceProxy = std::move(handler);
    StoreEventHandler(name, std::move(entry));
}

void ResourceEvents::DeliverHostEvent(const HostEvent& event) {
    const char* name = event.name != nullptr ? event.name : "";
    auto found = eventHandlers_.find(std::string(name));
    if (found == eventHandlers_.end()) return;
    // Our own reference: the handler may replace or erase its table entry.
    const HandlerPtr entry = found->second;

    BindingResult decoded;
    HostValueToBinding(decoded, event.payload, kResultValuePath);
    if (!decoded.IsOk()) {
        context_.Trace(kTraceBadPayload, context_.fullName.c_str(), "", name, decoded.ErrorText().c_str());
        return;
    }
    BindingResult converted;
    if (entry->kind == HostSubscriptionKind::ServiceProxy) {
        PluginServiceProxyResponse response;
        ReadNative(converted, response, decoded.Value(), kResultValuePath, context_.registry);
        if (!converted.IsOk()) {
            context_.Trace(kTraceBadPayload, context_.fullName.c_str(), decoded.Value().Text().c_str(), name,
                           converted.ErrorText().c_str());
            return;
        }
        context_.Trace(kTraceHandlingEvent, context_.fullName.c_str(), name);
        entry->onServiceProxy(response);  // an empty callable throws; the C shim drops the event
        return;
    }
    PluginResourceEvent resourceEvent;
    ReadNative(converted, resourceEvent, decoded.Value(), kResultValuePath, context_.registry);
    if (!converted.IsOk()) {
        context_.Trace(kTraceBadPayload, context_.fullName.c_str(), decoded.Value().Text().c_str(), name,
                       converted.ErrorText().c_str());
        return;
    }
    context_.Trace(kTraceHandlingEvent, context_.fullName.c_str(), name);
    entry->onResource(resourceEvent);
}

void ResourceEvents::DispatchResourceEvent(const PluginResourceEvent& received) {
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

void ResourceEvents::Watch(std::string_view uri, ResourceListener listener) {
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
    FetchResult fetched = requests_.FetchValue(RequestMethod::Get, key);
    if (!fetched.IsOk()) return;  // later events still arrive
    PluginResourceEvent initial;
    initial.uri = key;
    initial.eventType = PluginResourceEventType::Create;
    initial.data.MoveFrom(fetched.value);
    (*shared)(initial);
}

PublishResult ResourceEvents::PublishEvent(std::string_view baseName, const PluginResourceEvent& event,
                                           std::uint32_t value) {
    BindingResult converted;
    WriteNative(converted, event, context_.registry);
    if (!converted.IsOk()) return PublishResult{false, converted.ErrorText()};
    const std::string name = EventNameOfUri(event.uri);
    context_.Trace(kTraceSendingEvent, context_.fullName.c_str(), name.c_str());
    HostValueOwner payload;
    if (!ToHostValue(payload.Get(), converted.Value(), &context_.registry)) {
        // Only memory can run out here, and the callers keep their failures to
        // the trace: without this line nobody would learn that a change went unannounced.
        LogRuntime(RuntimeLogLevel::Error, kLogEventNotSent, context_.fullName.c_str(), name.c_str(),
                   kFailureOutOfMemory);
        return PublishResult{false, kFailureOutOfMemory};
    }

    HostOutgoingEvent outgoing{};
    outgoing.name = name.c_str();
    outgoing.payload = payload.Get();
    outgoing.value = value;
    context_.host.CorePostEvent(outgoing);
    if (baseName != std::string_view(name)) {
        const std::string base(baseName);
        outgoing.name = base.c_str();
        context_.host.CorePostEvent(outgoing);
    }
    return PublishResult{};
}

void ResourceEvents::UnsubscribeAll() {
    // Each entry leaves the table before the host hears of it, so a host
    // callback cannot change the table under us; taking the entry out
    // allocates nothing, so running out of memory cannot leave a subscription
    // at the host.
    while (!eventHandlers_.empty()) {
        const auto entry = eventHandlers_.extract(eventHandlers_.begin());
        context_.host.CoreUnsubscribe(entry.key().c_str(), context_.pluginHandle);
    }
    subscriptionCounts_.clear();
}

void ResourceEvents::ClearListeners() {
    exactListeners_.clear();
    wildcardListeners_.clear();
}

}  // namespace hpk
