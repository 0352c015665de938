// Building the timeline page: the entries and facts as one JSON document,
// placed into the page template (timeline_page.html, built into the tool).
#include "report/timeline_page.h"

#include <string_view>
#include <utility>

#include "text/json_text.h"

namespace hpk::host {

// timeline_page.html, generated at build time by embed_text.cmake.
std::string_view TimelinePageTemplate();

namespace {

// Where the template takes the data: the body of its JSON script element.
constexpr std::string_view kDataMarker = "/*timeline-data*/";
// Enough of a payload to recognise it on its line before it is expanded.
constexpr std::size_t kPreviewLimit = 240;

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view Cut(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// JSON text that can stand inside a script element: '<', '>' and '&' occur
// only inside strings there, where their \u escapes read back the same, so no
// payload can close the element or open a comment in it.
std::string ScriptSafe(std::string_view json) {
    std::string out;
    out.reserve(json.size() + json.size() / 16);
    for (const char c : json) {
        switch (c) {
            case '<': out += "\\u003c"; break;
            case '>': out += "\\u003e"; break;
            case '&': out += "\\u0026"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

void SetPayloadTexts(BindingValue& item, const BindingValue& payload) {
    const std::string compact = JsonText(payload, JsonLayout::Compact);
    std::string pretty = IndentJson(compact);
    if (pretty.size() > kPagePayloadLimit) {
        const std::size_t whole = pretty.size();
        pretty = std::string(Cut(pretty, kPagePayloadLimit));
        pretty += "\n... " + std::to_string(whole - pretty.size()) + " more bytes (all of it: run --json)";
    }
    item.Member("payload").SetString(pretty);
    std::string preview(Cut(compact, kPreviewLimit));
    if (preview.size() < compact.size()) preview += " ...";
    item.Member("preview").SetString(preview);
}

// The entry's facts as texts (numbers as written in the JSON document), and
// the memory counters apart, as numbers for the chart.
void SetDetail(BindingValue& item, const BindingValue& detail) {
    if (detail.Kind() != BindingValueKind::Structure) return;
    BindingValue& facts = item.Member("detail");
    facts.MakeStructure();
    detail.ForEachMember([&](std::string_view key, const BindingValue& value) {
        if (key == "memory" && value.Kind() == BindingValueKind::Structure) {
            item.Member("memory").CopyFrom(value);
        } else if (value.Kind() == BindingValueKind::String) {
            facts.Member(key).SetString(value.AsString());
        } else {
            facts.Member(key).SetString(JsonText(value, JsonLayout::Compact));
        }
    });
}

BindingValue EntriesValue(const Timeline& timeline) {
    BindingValue list;
    list.MakeCollection();
    list.Reserve(timeline.Entries().size());
    for (const TimelineEntry& entry : timeline.Entries()) {
        BindingValue& item = list.Append();
        item.MakeStructure();
        // Tenths of a millisecond: the page shows no more.
        item.Member("ms").SetFloat(static_cast<double>(static_cast<long long>(entry.milliseconds * 10.0)) / 10.0);
        item.Member("depth").SetUnsigned(static_cast<std::uint64_t>(entry.depth));
        item.Member("kind").SetString(entry.kind);
        item.Member("summary").SetString(entry.summary);
        if (!entry.payload.IsEmpty()) SetPayloadTexts(item, entry.payload);
        SetDetail(item, entry.detail);
        if (entry.kind == "memory" && entry.payload.Kind() == BindingValueKind::Structure) {
            item.Member("memory").CopyFrom(entry.payload);
        }
    }
    return list;
}

}  // namespace

std::string TimelinePage(const Timeline& timeline, const TimelinePageFacts& facts) {
    BindingValue data;
    data.MakeStructure();
    data.Member("title").SetString(facts.title);
    data.Member("description").SetString(facts.description);
    data.Member("source").SetString(facts.source);
    data.Member("pluginPath").SetString(facts.pluginPath);
    data.Member("pluginName").SetString(facts.pluginName);
    data.Member("ok").SetBool(facts.ok);
    data.Member("outcome").SetString(facts.outcome);
    data.Member("entries") = EntriesValue(timeline);
    BindingValue& headings = data.Member("headings");
    headings.MakeCollection();
    for (const TimelineHeading& heading : timeline.Headings()) {
        BindingValue& item = headings.Append();
        item.Member("before").SetUnsigned(heading.before);
        item.Member("text").SetString(heading.text);
    }
    BindingValue& served = data.Member("served");
    served.MakeCollection();
    facts.served.ForEachMember([&](std::string_view uri, const BindingValue& body) {
        BindingValue& item = served.Append();
        item.Member("uri").SetString(uri);
        item.Member("value").CopyFrom(body);
        SetPayloadTexts(item, body);
    });

    const std::string_view page = TimelinePageTemplate();
    const std::size_t at = page.find(kDataMarker);
    std::string out;
    const std::string json = ScriptSafe(JsonText(data, JsonLayout::Compact));
    out.reserve(page.size() + json.size());
    out.append(page.substr(0, at));
    out.append(json);
    out.append(page.substr(at + kDataMarker.size()));
    return out;
}

}  // namespace hpk::host
