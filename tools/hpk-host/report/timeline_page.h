// The timeline of a run as one self-contained HTML page: the host and the
// plugin as lanes, what the plugin does inside each call nested in it,
// payloads that expand, the memory counters as a chart, expectations and
// broken rules highlighted. The page is drawn by its own script from the
// timeline's entries, embedded as JSON; it loads nothing.
#pragma once
#include <string>

#include "binding/binding_value.h"
#include "host/timeline.h"

namespace hpk::host {

// What the page says about the run beyond its timeline.
struct TimelinePageFacts {
    std::string title;  // the scenario's name
    std::string description;
    std::string source;  // the scenario file; "" for the built-in one
    std::string pluginPath;
    std::string pluginName;  // "" when the handshake never completed
    bool ok = false;
    std::string outcome;  // "ok, 3 expectations met", or what failed
    BindingValue served;  // structure of URI -> body the plugin served at the end; empty: none fetched
};

// A payload's JSON text longer than this is cut on the page (the whole of it
// is in `run --json`), so a large streamed body cannot swell the page.
inline constexpr std::size_t kPagePayloadLimit = 64 * 1024;

// The whole page (UTF-8). Any bytes in the timeline's texts are safe: they
// reach the page only as JSON strings, with invalid UTF-8 replaced and '<',
// '>' and '&' escaped, and the script sets them as text, never as markup.
std::string TimelinePage(const Timeline& timeline, const TimelinePageFacts& facts);

}  // namespace hpk::host
