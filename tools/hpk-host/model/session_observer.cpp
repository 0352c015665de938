// Building the records of what the host saw, call by call.
#include "model/session_observer.h"

#include <utility>

#include "platform/platform.h"

namespace hpk::host {

std::int64_t HostClockTicks() { return platform::SystemTimeTicks(); }

SessionObserver::SessionObserver(HostCore& core, ObservedCallReader& reader) : core_(core), reader_(reader) {
    core_.Listen(this);
}

SessionObserver::~SessionObserver() { core_.StopListening(this); }

ObservedCall& SessionObserver::Open(ObservedCall::Kind kind) {
    open_.push_back(std::make_unique<ObservedCall>());
    ObservedCall& call = *open_.back();
    call.kind = kind;
    if (open_.size() == 1) call.clockBegin = HostClockTicks();
    return call;
}

void SessionObserver::Close() {
    if (open_.empty()) return;
    std::unique_ptr<ObservedCall> call = std::move(open_.back());
    open_.pop_back();
    if (!open_.empty()) {
        open_.back()->inside.push_back(std::move(*call));
        return;
    }
    call->clockEnd = HostClockTicks();
    reader_.Observed(*call);
}

ObservedCall& SessionObserver::Leaf(ObservedCall::Kind kind) {
    if (open_.empty()) Open(ObservedCall::Kind::Outside);
    ObservedCall& parent = *open_.back();
    parent.inside.emplace_back();
    parent.inside.back().kind = kind;
    return parent.inside.back();
}

void SessionObserver::BeginInit() { Open(ObservedCall::Kind::Init); }

void SessionObserver::EndInit() {
    // Whatever is still open was left by a plugin that did not return from it.
    while (!open_.empty()) Close();
}

void SessionObserver::Requested(const HostRequest& request, const std::string& url,
                                const std::vector<RequestArgument>& arguments) {
    if (open_.empty()) Open(ObservedCall::Kind::Outside);
    ObservedCall& call = Open(ObservedCall::Kind::Request);
    call.name = url;
    call.method = MethodText(request.method);
    call.arguments = arguments.size();
    if (arguments.size() == 1 && !arguments[0].name) call.payload.CopyFrom(arguments[0].value);
}

void SessionObserver::Answered(const RequestRecord&, const ResourceAnswer& served) {
    if (open_.empty() || open_.back()->kind != ObservedCall::Kind::Request) return;
    open_.back()->served = served;
    Close();
    // A request made outside any call into the plugin closes its frame too.
    if (open_.size() == 1 && open_.back()->kind == ObservedCall::Kind::Outside) Close();
}

void SessionObserver::Posted(const PostedEvent& event) {
    const bool outside = open_.empty();
    ObservedCall& call = Leaf(ObservedCall::Kind::Post);
    call.name = event.name;
    call.payload.CopyFrom(event.payload);
    if (outside) Close();
}

void SessionObserver::Delivering(const std::string& name, const BindingValue* payload) {
    ObservedCall& call = Open(ObservedCall::Kind::Delivery);
    call.name = name;
    call.payloadRead = payload != nullptr;
    if (payload != nullptr) call.payload.CopyFrom(*payload);
}

void SessionObserver::Delivered(const std::string&) {
    if (open_.empty() || open_.back()->kind != ObservedCall::Kind::Delivery) return;
    Close();
}

}  // namespace hpk::host
