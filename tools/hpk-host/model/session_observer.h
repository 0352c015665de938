// What the host sees of a session, as the model reads it: each call into the
// plugin the host makes (init, an event delivered) with what the plugin did
// inside it (its requests with what the host answered, its posts), nested as
// it happened, and the clock around it. The observer is a layer over the core
// that builds these records and hands each finished one to its reader.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "host/host_core.h"
#include "scenario/scenario.h"

namespace hpk::host {

struct ObservedCall {
    enum class Kind : std::uint8_t {
        Init = 0,      // the host calls init
        Delivery = 1,  // the host delivers an event to one of the plugin's subscriptions
        Request = 2,   // the plugin asks the host for a resource
        Post = 3,      // the plugin posts an event
        Outside = 4,   // the plugin called the host outside any call into it
    };
    Kind kind = Kind::Delivery;
    std::string name;           // Delivery, Post: the event name; Request: the url
    std::string method;         // Request: "GET", "POST", ...
    BindingValue payload;       // Delivery, Post: the payload; Request: its one positional argument
    bool payloadRead = true;    // Delivery: false for a record delivered as it is
    std::size_t arguments = 0;  // Request: how many arguments it carried
    ResourceAnswer served;      // Request: what the host answered with
    // What happened inside, in order: a call into the plugin holds the plugin's
    // requests and posts; a request holds the events delivered while it waited.
    std::vector<ObservedCall> inside;
    std::int64_t clockBegin = 0;  // host clock readings around a top-level call, 100-ns ticks since 1970
    std::int64_t clockEnd = 0;
};

// Hears of each top-level call once it has ended.
class ObservedCallReader {
public:
    virtual ~ObservedCallReader() = default;
    virtual void Observed(const ObservedCall& call) = 0;
};

class SessionObserver : public HostCoreListener {
public:
    SessionObserver(HostCore& core, ObservedCallReader& reader);
    ~SessionObserver() override;
    SessionObserver(const SessionObserver&) = delete;
    SessionObserver& operator=(const SessionObserver&) = delete;

    // Brackets the host's init call: the model cannot tell it from the core.
    void BeginInit();
    void EndInit();

    void Requested(const HostRequest& request, const std::string& url,
                   const std::vector<RequestArgument>& arguments) override;
    void Answered(const RequestRecord& request, const ResourceAnswer& served) override;
    void Posted(const PostedEvent& event) override;
    void Delivering(const std::string& name, const BindingValue* payload) override;
    void Delivered(const std::string& name) override;

private:
    ObservedCall& Open(ObservedCall::Kind kind);
    void Close();
    // A call of the plugin's, placed in what is open (or outside of it all).
    ObservedCall& Leaf(ObservedCall::Kind kind);

    HostCore& core_;
    ObservedCallReader& reader_;
    // The calls open now, outermost first; each is moved into its parent when
    // it closes.
    std::vector<std::unique_ptr<ObservedCall>> open_;
};

// The host's clock, read as the plugin reads it: 100-ns ticks since 1970 UTC.
std::int64_t HostClockTicks();

}  // namespace hpk::host
