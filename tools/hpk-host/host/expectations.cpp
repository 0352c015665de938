// Expectations of a scenario, each turned into a failure naming it when it is not met.
#include "host/expectations.h"

#include <algorithm>

#include "diagnostics/positional_format.h"
#include "text/host_messages.h"
#include "text/host_text.h"

namespace hpk::host {

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// "GET /x" names a method and a url; "/x" any method.
std::uint64_t RequestCount(const HostCore& core, const std::string& wanted) {
    std::string method;
    std::string url = wanted;
    const std::size_t space = wanted.find(' ');
    if (space != std::string::npos) {
        method = wanted.substr(0, space);
        url = wanted.substr(space + 1);
    }
    std::uint64_t count = 0;
    for (const RequestRecord& request : core.Requests()) {
        if (request.url == url && (method.empty() || request.method == method)) ++count;
    }
    return count;
}

std::uint64_t PostedCount(const HostCore& core, const std::string& name) {
    return static_cast<std::uint64_t>(std::count_if(core.Posted().begin(), core.Posted().end(),
                                                    [&](const PostedEvent& event) { return event.name == name; }));
}

std::vector<std::string> PostedNames(const HostCore& core) {
    std::vector<std::string> names;
    for (const PostedEvent& event : core.Posted()) {
        if (!Contains(names, event.name)) names.push_back(event.name);
    }
    return names;
}

// The served filters, or why they could not be fetched.
Outcome<std::vector<std::string>> FetchFilters(PluginSession& session) {
    EndpointAnswer answer = session.Get(kFiltersUri);
    if (!answer.reached || answer.failed)
        return Fail(FormatPositional(kMsgExpectFetchFailed, kFiltersUri, answer.error));
    std::vector<std::string> filters;
    const BindingValue& list = answer.body.Member("filters");
    for (std::size_t i = 0; i < list.Size(); ++i) filters.emplace_back(list.Element(i).AsString());
    return filters;
}

Outcome<> CheckFilters(const Expectations& expect, PluginSession& session) {
    if (!expect.filters && expect.filtersInclude.empty() && expect.filtersExclude.empty()) return {};
    const Outcome<std::vector<std::string>> fetched = FetchFilters(session);
    if (!fetched.IsOk()) return Fail(fetched.Error());
    const std::vector<std::string>& served = fetched.Value();
    if (expect.filters && *expect.filters != served) {
        return Fail(FormatPositional(kMsgExpectFilters, JoinList(*expect.filters), JoinList(served)));
    }
    for (const std::string& filter : expect.filtersInclude) {
        if (!Contains(served, filter)) return Fail(FormatPositional(kMsgExpectFilterMissing, filter, JoinList(served)));
    }
    for (const std::string& filter : expect.filtersExclude) {
        if (Contains(served, filter)) return Fail(FormatPositional(kMsgExpectFilterPresent, filter, JoinList(served)));
    }
    return {};
}

Outcome<> CheckTelemetry(const Expectations& expect, const HostCore& core) {
    const auto& events = core.Telemetry();
    if (expect.telemetryCount && events.size() != *expect.telemetryCount) {
        return Fail(FormatPositional(kMsgExpectTelemetryCount, static_cast<unsigned>(events.size()),
                                     static_cast<unsigned long long>(*expect.telemetryCount)));
    }
    if (expect.telemetryFields.empty() && expect.telemetryMissing.empty() && expect.telemetryValues.empty()) return {};
    if (events.empty()) return Fail(kMsgExpectTelemetryNone);
    const BindingValue& fields = events.back().fields;
    std::vector<std::string> names;
    fields.ForEachMember([&](std::string_view key, const BindingValue&) { names.emplace_back(key); });
    for (const std::string& name : expect.telemetryFields) {
        if (!fields.HasMember(name)) return Fail(FormatPositional(kMsgExpectTelemetryField, name, JoinList(names)));
    }
    for (const std::string& name : expect.telemetryMissing) {
        if (fields.HasMember(name)) return Fail(FormatPositional(kMsgExpectTelemetryExtra, name));
    }
    for (const auto& [name, value] : expect.telemetryValues) {
        if (!fields.HasMember(name)) return Fail(FormatPositional(kMsgExpectTelemetryField, name, JoinList(names)));
        const std::string actual = fields.Member(name).Text();
        if (actual != value) return Fail(FormatPositional(kMsgExpectTelemetryValue, name, actual, value));
    }
    return {};
}

}  // namespace

Outcome<> CheckExpectations(const Expectations& expect, PluginSession& session, const HostCore& core) {
    if (Outcome<> filters = CheckFilters(expect, session); !filters.IsOk()) return filters;
    if (expect.locale) {
        EndpointAnswer answer = session.Get(kLocaleUri);
        if (!answer.reached || answer.failed)
            return Fail(FormatPositional(kMsgExpectFetchFailed, kLocaleUri, answer.error));
        const std::string served(answer.body.Member("locale").AsString());
        if (served != *expect.locale) return Fail(FormatPositional(kMsgExpectLocale, *expect.locale, served));
    }
    for (const std::string& name : expect.posted) {
        if (PostedCount(core, name) == 0)
            return Fail(FormatPositional(kMsgExpectPosted, name, JoinList(PostedNames(core))));
    }
    for (const std::string& name : expect.notPosted) {
        if (PostedCount(core, name) != 0) return Fail(FormatPositional(kMsgExpectNotPosted, name));
    }
    for (const auto& [name, count] : expect.postedCount) {
        const std::uint64_t actual = PostedCount(core, name);
        if (actual != count) {
            return Fail(FormatPositional(kMsgExpectPostedCount, name, static_cast<unsigned long long>(actual),
                                         static_cast<unsigned long long>(count)));
        }
    }
    if (Outcome<> telemetry = CheckTelemetry(expect, core); !telemetry.IsOk()) return telemetry;
    for (const std::string& url : expect.requested) {
        if (RequestCount(core, url) == 0) return Fail(FormatPositional(kMsgExpectRequested, url));
    }
    for (const std::string& url : expect.notRequested) {
        if (RequestCount(core, url) != 0) return Fail(FormatPositional(kMsgExpectNotRequested, url));
    }
    for (const auto& [url, count] : expect.requestedCount) {
        const std::uint64_t actual = RequestCount(core, url);
        if (actual != count) {
            return Fail(FormatPositional(kMsgExpectRequestedCount, url, static_cast<unsigned long long>(actual),
                                         static_cast<unsigned long long>(count)));
        }
    }
    for (const std::string& name : expect.subscribed) {
        if (!core.IsSubscribed(name)) return Fail(FormatPositional(kMsgExpectSubscribed, name));
    }
    for (const std::string& name : expect.notSubscribed) {
        if (core.IsSubscribed(name)) return Fail(FormatPositional(kMsgExpectNotSubscribed, name));
    }
    for (const std::string& text : expect.logged) {
        const bool found = std::any_of(core.Logs().begin(), core.Logs().end(),
                                       [&](const LogLine& line) { return line.text.find(text) != std::string::npos; });
        if (!found) return Fail(FormatPositional(kMsgExpectLogged, text));
    }
    return {};
}

std::size_t CountExpectations(const Expectations& expect) {
    return (expect.filters ? 1 : 0) + expect.filtersInclude.size() + expect.filtersExclude.size() +
           (expect.locale ? 1 : 0) + expect.posted.size() + expect.notPosted.size() + expect.postedCount.size() +
           (expect.telemetryCount ? 1 : 0) + expect.telemetryFields.size() + expect.telemetryMissing.size() +
           expect.telemetryValues.size() + expect.requested.size() + expect.notRequested.size() +
           expect.requestedCount.size() + expect.subscribed.size() + expect.notSubscribed.size() + expect.logged.size();
}

}  // namespace hpk::host
