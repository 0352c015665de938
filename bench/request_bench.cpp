// Served requests through the request callback, as the host makes them: a GET
// of a small record on a literal route, and a call on a templated route with
// query arguments and a JSON body. A reference case compiles the route's
// expression per request, which the router avoids by keeping it compiled.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "binding/type_registration.h"
#include "router/binding_router.h"

namespace {

using namespace hpk;

struct FilterResponse {
    std::vector<std::string> filters;
    std::string locale;
};

struct Order {
    std::string item;
    std::uint32_t count = 0;
    std::vector<std::int32_t> slots;
};

BindingRouter& Router() {
    static BindingRouter* router = [] {
        auto* r = new BindingRouter();
        RegisterStruct<FilterResponse>(
            *r, "FilterResponse",
            {Field("filters", &FilterResponse::filters), Field("locale", &FilterResponse::locale)});
        RegisterStruct<Order>(
            *r, "Order", {Field("item", &Order::item), Field("count", &Order::count), Field("slots", &Order::slots)});
        static const FilterResponse current{{"filter_level_42", "filter_ranked_enabled", "filter_location_us_ca"},
                                            "en_US"};
        if (!r->ServeGet("/arx-content-targeting/v1/filters", [] { return current; })) std::abort();
        const EndpointRegistrationResult order = r->RegisterFunction(
            "PostOrder", "/shop/v1/accounts/{account}/orders", RequestMethod::Post,
            {{"account", ArgumentLocation::Path},
             {"dryRun", ArgumentLocation::Query},
             {"limit", ArgumentLocation::Query},
             {"order", ArgumentLocation::Body}},
            [](std::uint64_t account, bool dryRun, std::uint32_t limit, Order order) {
                order.count = dryRun ? 0 : order.count + static_cast<std::uint32_t>(account % 7) + limit;
                return order;
            });
        if (!order) std::abort();
        return r;
    }();
    return *router;
}

void Serve(benchmark::State& state, HostRequest& request) {
    HostResponse response{};
    for (auto _ : state) {
        RequestCallback(&response, &request);
        if (response.error != nullptr) {
            state.SkipWithError(response.error);
            break;
        }
        benchmark::DoNotOptimize(response.body);
        response.release(&response);
    }
}

void BM_ServedGetLiteralRoute(benchmark::State& state) {
    HostRequest request{};
    request.method = 2;
    request.url = "/arx-content-targeting/v1/filters";
    request.endpointUserData = Router().UserDataFor("GetArxContentTargetingV1Filters");
    Serve(state, request);
}
BENCHMARK(BM_ServedGetLiteralRoute);

void BM_TemplatedRouteQueryAndJsonBody(benchmark::State& state) {
    static const char body[] = R"({"item":"emote-bundle","count":2,"slots":[1,2,3,4]})";
    HostHeaderEntry headers[] = {{"accept", "application/json"}, {"x-request-id", "42"}};
    HostRequest request{};
    request.method = 6;
    request.url = "/shop/v1/accounts/31337/orders?dryRun=false&limit=0x10";
    request.endpointUserData = Router().UserDataFor("PostOrder");
    request.headers = headers;
    request.headerCount = 2;
    request.contentType = "application/json; charset=utf-8";
    request.body = body;
    request.bodyLength = sizeof(body) - 1;
    Serve(state, request);
}
BENCHMARK(BM_TemplatedRouteQueryAndJsonBody);

// Reference: what building the route's expression per request would add.
void BM_ReferenceCompileExpressionPerRequest(benchmark::State& state) {
    std::vector<RouteParameter> parameters;
    const std::string pattern = TemplateToPattern("/shop/v1/accounts/{account}/orders", parameters);
    const std::string url = "/shop/v1/accounts/31337/orders";
    for (auto _ : state) {
        const std::regex expression(pattern, std::regex::ECMAScript | std::regex::optimize);
        std::smatch match;
        benchmark::DoNotOptimize(std::regex_match(url, match, expression));
    }
}
BENCHMARK(BM_ReferenceCompileExpressionPerRequest);

void BM_CompiledRouteMatch(benchmark::State& state) {
    const Route route = Route::Build(nullptr, "/shop/v1/accounts/{account}/orders", RequestMethod::None, {});
    const RouteRequest request{RequestMethod::Post, {}, "/shop/v1/accounts/31337/orders"};
    for (auto _ : state) {
        PathCaptures captures;
        benchmark::DoNotOptimize(route.Match(request, captures));
    }
}
BENCHMARK(BM_CompiledRouteMatch);

}  // namespace
