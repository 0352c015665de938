// A router serving a few typed functions for the hardening tests, and a call
// helper that sends one request through the request callback and reads the
// response back before releasing it.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "binding/host_value_convert.h"
#include "content_targeting/record_registration.h"
#include "content_targeting/records.h"
#include "hardening_inputs.h"
#include "router/binding_router.h"
#include "router/handler_response.h"
#include "router/host_request_builder.h"

namespace hpk::hardening {

struct ServedAnswer {
    std::optional<std::string> error;
    std::int32_t status = 0;
    BindingValue body;
};

class ServedFunctions {
public:
    ServedFunctions() {
        content_targeting::RegisterRecordTypes(router_, "HpkBeArxContentTargeting");
        // Echoes its body, so the whole tree goes back out as a HostValue.
        Expect(router_.RegisterFunction("Keep", "/keep", RequestMethod::Post, {{"body", ArgumentLocation::Body}},
                                        [](BindingValue body) { return body; }));
        // Reads a record, so the body goes through the typed conversion.
        Expect(router_.RegisterFunction("Config", "/config", RequestMethod::Post, {{"config", ArgumentLocation::Body}},
                                        [](Vela::Client::Api::PlatformConfig config) { return config; }));
        // Answer how deep and how wide their argument is, without echoing it:
        // one takes it from anywhere but the body, the other from the body.
        Expect(router_.RegisterFunction("Measure", "/measure", RequestMethod::Post, {{"value"}}, Measure));
        Expect(router_.RegisterFunction("MeasureBody", "/measure-body", RequestMethod::Post,
                                        {{"value", ArgumentLocation::Body}}, Measure));
    }

    // The endpoint user data requests to function `name` carry.
    void* UserData(const std::string& name) { return router_.UserDataFor(name); }

    // Sends `builder`'s request to function `name` and reads the response.
    ServedAnswer Call(const std::string& name, HostRequestBuilder& builder) {
        builder.UserData(UserData(name));
        return Send(builder.Build());
    }

    // Sends `request` as it is and reads the response.
    ServedAnswer Send(const HostRequest& request) {
        HostResponse response{};
        RequestCallback(&response, &request);
        ServedAnswer answer;
        // Packed fields are read by value: a reference to one may be misaligned.
        const HostResponseReleaseFn release = response.release;
        EXPECT_EQ(release, &ReleaseHostResponse);
        if (response.error != nullptr) answer.error = response.error;
        answer.status = response.status;
        BindingResult body;
        HostValueToBinding(body, response.body, "<result>");
        EXPECT_TRUE(body.IsOk()) << body.ErrorText();
        body.TakeValue(answer.body);
        if (release != nullptr) release(&response);
        return answer;
    }

private:
    static BindingValue Measure(BindingValue value) {
        BindingValue out;
        out.Member("depth").SetUnsigned(FirstChildDepth(value));
        out.Member("size").SetUnsigned(value.Size());
        return out;
    }
    static void Expect(const EndpointRegistrationResult& registered) { EXPECT_TRUE(registered) << registered.error; }

    BindingRouter router_;
};

}  // namespace hpk::hardening
