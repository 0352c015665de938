// The record of one run: every call across the boundary in the order it
// happened, with milliseconds since the start and how deeply it was nested
// inside calls into the plugin. Printed line by line as it grows (so a crash of
// the plugin still leaves everything up to it on screen) or kept for one JSON
// document at the end.
#pragma once
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_value.h"

namespace hpk::host {

struct TimelineHeading {
    std::size_t before = 0;  // the number of entries recorded before it
    std::string text;
};

struct TimelineEntry {
    double milliseconds = 0;
    int depth = 0;         // calls into the plugin this entry happened inside
    std::string kind;      // "subscribe", "request", "post", "log", ...
    std::string summary;   // one readable line
    BindingValue payload;  // shown as JSON after the summary; empty: none
    BindingValue detail;   // structure of named facts for the JSON document
};

class Timeline {
public:
    // `live`: print each entry to `out` as it is recorded (text mode).
    // `keep`: hold the entries for Entries() and ToValue() (a test host that
    // only records through its own lists keeps none).
    Timeline(bool live, std::FILE* out, bool keep = true);

    // Milliseconds since construction.
    double Now() const;

    // Records an entry stamped now at the current depth.
    void Record(std::string kind, std::string summary, BindingValue payload = {}, BindingValue detail = {});

    // A line of text that belongs to no entry (section headings); printed in
    // text mode only, kept for the HTML page.
    void Heading(const std::string& text);

    // Keep no entries from now on (and print none): for callers that only
    // need the host's own records of a run, such as the explorer's sessions.
    void KeepNothing() {
        live_ = false;
        keep_ = false;
    }

    // Bracket calls into the plugin, so what the plugin does inside them is
    // shown nested.
    void Enter() { ++depth_; }
    void Leave() { --depth_; }
    int Depth() const { return depth_; }

    const std::vector<TimelineEntry>& Entries() const { return entries_; }
    // The non-empty headings, in order.
    const std::vector<TimelineHeading>& Headings() const { return headings_; }
    // The entries as a collection of structures {ms, depth, kind, summary,
    // payload?, ...detail} for the JSON document.
    BindingValue ToValue() const;

private:
    void Print(const TimelineEntry& entry) const;

    std::chrono::steady_clock::time_point start_;
    bool live_;
    std::FILE* out_;
    bool keep_;
    int depth_ = 0;
    std::vector<TimelineEntry> entries_;
    std::vector<TimelineHeading> headings_;
};

// A detail structure of named texts, for Timeline::Record.
BindingValue Facts(std::initializer_list<std::pair<const char*, std::string>> facts);

// RAII bracket for Timeline::Enter/Leave.
class TimelineDepth {
public:
    explicit TimelineDepth(Timeline& timeline) : timeline_(timeline) { timeline_.Enter(); }
    ~TimelineDepth() { timeline_.Leave(); }
    TimelineDepth(const TimelineDepth&) = delete;
    TimelineDepth& operator=(const TimelineDepth&) = delete;

private:
    Timeline& timeline_;
};

}  // namespace hpk::host
