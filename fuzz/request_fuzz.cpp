// Any request a host could send, through the request callback of served
// functions with typed arguments: method, url, headers, explicit arguments
// (any HostValue, see HostValueRecipe), content type (null included) and body.
// Checks: every response carries its release routine, an error is never an
// empty text, and releasing the response gives back every block.
//
// Input: a function byte, a method byte (with a method name for code 8), a url
// byte (null, arbitrary, or a path under one of the templates) and its text, a
// header count and texts (0xFF alone: a null pointer), an argument count with
// per argument a name byte, a name and a value recipe (a count byte of 0xFF
// also sends a count without an array), a content type byte (and text), then
// the rest is the body (none when the body byte says so).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "content_targeting/record_registration.h"
#include "content_targeting/records.h"
#include "fuzz_support.h"
#include "boundary/allocation_hooks.h"
#include "router/binding_router.h"
#include "router/handler_response.h"

namespace {

using namespace Vela::Client::Api;
using hpk::ArgumentLocation;
using hpk::BindingValue;
using hpk::RequestMethod;

struct Served {
    hpk::BindingRouter router;
    std::vector<std::string> names;
    std::vector<std::string> prefixes;  // a url under each function's template
};

void Check(bool condition) {
    if (!condition) std::abort();
}

void Require(const hpk::EndpointRegistrationResult& registered) { Check(static_cast<bool>(registered)); }

// The router lives for the process, like the plugin's: its registry and type
// records are built once, before the first leak baseline.
Served& Functions() {
    static Served* served = [] {
        auto* created = new Served();
        hpk::BindingRouter& router = created->router;
        hpk::content_targeting::RegisterRecordTypes(router, "HpkBeArxContentTargeting");
        Require(router.RegisterFunction("Typed", "/t/{id}/{+rest}", RequestMethod::Post,
                                        {{"id", ArgumentLocation::Path},
                                         {"rest", ArgumentLocation::Path},
                                         {"levels", ArgumentLocation::Query, true},
                                         {"flag", ArgumentLocation::Any, true},
                                         {"token", ArgumentLocation::Header, true},
                                         {"config", ArgumentLocation::Body, true}},
                                        [](std::uint32_t id, std::string rest, std::vector<std::int32_t> levels,
                                           bool flag, std::string token, PlatformConfig config) {
                                            ContentTargetingFilterResponse out;
                                            out.filters.push_back(std::to_string(id) + rest + token + config.Mapping);
                                            for (std::int32_t level : levels)
                                                out.filters.push_back(std::to_string(level));
                                            if (flag || config.Enabled) out.filters.emplace_back("on");
                                            return out;
                                        }));
        Require(router.RegisterFunction(
            "Echo", "", RequestMethod::None,
            {{"value"}, {"games", ArgumentLocation::Any, true}, {"state", ArgumentLocation::Any, true}},
            [](BindingValue value, ChampionGamesCollection games, LoginSessionState state) {
                BindingValue out;
                out.Member("value").CopyFrom(value);
                out.Member("count").SetUnsigned(games.champions.size() + games.gameCount);
                out.Member("state").SetSigned(static_cast<std::int32_t>(state));
                return out;
            }));
        Require(router.RegisterFunction("Geo", "/geo/{country}", RequestMethod::Put,
                                        {{"country", ArgumentLocation::Path},
                                         {"response", ArgumentLocation::Body},
                                         {"scale", ArgumentLocation::Query, true}},
                                        [](std::string country, GeoInfoResponse response, double scale) {
                                            response.geoInfo.country = country;
                                            response.errorMessage = std::to_string(scale);
                                            return response;
                                        }));
        Require(router.ServeGet("/arx-content-targeting/v1/locale",
                                [] { return ContentTargetingLocaleResponse{"en_GB"}; }));
        created->names = {"Typed", "Echo", "Geo", "GetArxContentTargetingV1Locale"};
        created->prefixes = {"/t/", "Echo", "/geo/", "/arx-content-targeting/v1/locale"};
        for (const std::string& name : created->names) created->router.UserDataFor(name);
        return created;
    }();
    return *served;
}

const char* const kContentTypes[] = {"application/json",   "application/x-msgpack",
                                     "application/x-yaml", "application/vnd.api+json; charset=utf-8",
                                     "APPLICATION/JSON",   "text/plain"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Served& served = Functions();
    const std::int64_t blocks = hpk::LiveBlocks();
    const std::int64_t bytes = hpk::LiveBytes();
    {
        hpk::fuzz::FuzzBytes input(data, size);
        const std::size_t function = input.Byte() % served.names.size();
        HostRequest request{};
        request.endpointUserData = served.router.UserDataFor(served.names[function]);
        request.method = input.Byte() % 10;
        const std::string methodName = request.method == 8 ? input.Text() : std::string();
        request.methodName = request.method == 8 ? methodName.c_str() : nullptr;

        const std::uint8_t urlKind = input.Byte() % 3;
        const std::string url = (urlKind == 2 ? served.prefixes[function] : std::string()) + input.Text();
        request.url = urlKind == 0 ? nullptr : url.c_str();

        std::vector<std::string> texts;
        texts.reserve(64);
        // A header text of the single byte 0xFF is sent as a null pointer.
        const auto textOrNull = [](const std::string& text) { return text == "\xff" ? nullptr : text.c_str(); };
        const std::uint8_t headerCount = input.Byte();
        std::vector<HostHeaderEntry> headers(headerCount % 8);
        for (HostHeaderEntry& header : headers) {
            texts.push_back(input.Text());
            header.name = textOrNull(texts.back());
            texts.push_back(input.Text());
            header.value = textOrNull(texts.back());
        }
        request.headers = headers.empty() ? nullptr : headers.data();
        request.headerCount = static_cast<std::uint32_t>(headers.size());
        // 0xFF: a count with no array behind it.
        if (headerCount == 0xFF) {
            request.headers = nullptr;
            request.headerCount = 5;
        }

        std::vector<std::unique_ptr<hpk::fuzz::HostValueRecipe>> values;
        const std::uint8_t argumentCount = input.Byte();
        std::vector<HostArgumentEntry> arguments(argumentCount % 6);
        for (HostArgumentEntry& argument : arguments) {
            const std::uint8_t nameKind = input.Byte() % 3;
            texts.push_back(nameKind == 0 ? input.Text() : served.names[function]);
            if (nameKind == 2) texts.back() = input.Byte() % 2 == 0 ? "value" : "config";
            argument.name = nameKind == 1 ? nullptr : texts.back().c_str();
            values.push_back(std::make_unique<hpk::fuzz::HostValueRecipe>(input));
            argument.value = values.back()->Root();
        }
        request.arguments = arguments.empty() ? nullptr : arguments.data();
        request.argumentCount = static_cast<std::uint32_t>(arguments.size());
        if (argumentCount == 0xFF) {
            request.arguments = nullptr;
            request.argumentCount = 4;
        }

        const std::uint8_t typeKind = input.Byte() % 9;
        const std::string contentType = typeKind < 6    ? kContentTypes[typeKind]
                                        : typeKind == 6 ? input.Text()
                                                        : std::string();
        request.contentType = typeKind == 8 ? nullptr : contentType.c_str();
        const bool hasBody = input.Byte() % 4 != 0;
        // Exactly the body's bytes on the heap, so reading past them is caught.
        const std::string rest = input.Rest();
        std::unique_ptr<char[]> body(new char[rest.size()]);
        std::copy(rest.begin(), rest.end(), body.get());
        request.body = hasBody ? body.get() : nullptr;
        request.bodyLength = hasBody ? static_cast<std::uint32_t>(rest.size()) : 0;
        request.callerHandle = 3;

        HostResponse response{};
        hpk::RequestCallback(&response, &request);
        Check(response.release == &hpk::ReleaseHostResponse);
        Check(response.error == nullptr || response.error[0] != '\0');
        response.release(&response);
    }
    Check(hpk::LiveBlocks() == blocks && hpk::LiveBytes() == bytes);
    return 0;
}
