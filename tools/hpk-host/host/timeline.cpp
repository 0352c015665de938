// Recording and printing the timeline of a run.
#include "host/timeline.h"

#include <utility>

#include "text/host_text.h"
#include "text/json_text.h"

namespace hpk::host {

namespace {

constexpr std::size_t kKindWidth = 11;
constexpr std::size_t kLineWidth = 120;

}  // namespace

Timeline::Timeline(bool live, std::FILE* out, bool keep)
    : start_(std::chrono::steady_clock::now()), live_(live), out_(out), keep_(keep) {}

double Timeline::Now() const {
    auto elapsed = std::chrono::steady_clock::now() - start_;
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

void Timeline::Record(std::string kind, std::string summary, BindingValue payload, BindingValue detail) {
    if (!live_ && !keep_) return;
    TimelineEntry entry;
    entry.milliseconds = Now();
    entry.depth = depth_;
    entry.kind = std::move(kind);
    entry.summary = std::move(summary);
    entry.payload = std::move(payload);
    entry.detail = std::move(detail);
    if (live_) Print(entry);
    if (keep_) entries_.push_back(std::move(entry));
}

void Timeline::Heading(const std::string& text) {
    if (!text.empty()) headings_.push_back(TimelineHeading{entries_.size(), text});
    if (!live_) return;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void Timeline::Print(const TimelineEntry& entry) const {
    std::string stamp = FormatMilliseconds(entry.milliseconds);
    std::string line(stamp.size() < 8 ? 8 - stamp.size() : 0, ' ');
    line += stamp + " ms  ";
    if (entry.kind == "step") {
        std::fprintf(out_, "\n%s== step %s\n", line.c_str(), entry.summary.c_str());
        std::fflush(out_);
        return;
    }
    line.append(static_cast<std::size_t>(entry.depth) * 2, ' ');
    const std::size_t indent = line.size() + kKindWidth + 1;
    line += entry.kind;
    line.append(entry.kind.size() < kKindWidth ? kKindWidth - entry.kind.size() : 0, ' ');
    line += ' ';
    line += entry.summary;
    if (!entry.payload.IsEmpty()) {
        std::string json = JsonText(entry.payload, JsonLayout::Compact);
        if (line.size() + 2 + json.size() <= kLineWidth) {
            line += "  " + json;
        } else {
            line += "\n" + std::string(indent, ' ') + json;
        }
    }
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

BindingValue Facts(std::initializer_list<std::pair<const char*, std::string>> facts) {
    BindingValue detail;
    detail.MakeStructure();
    for (const auto& [name, text] : facts) detail.Member(name).SetString(text);
    return detail;
}

BindingValue Timeline::ToValue() const {
    BindingValue list;
    list.MakeCollection();
    list.Reserve(entries_.size());
    for (const TimelineEntry& entry : entries_) {
        BindingValue& item = list.Append();
        if (entry.detail.Kind() == BindingValueKind::Structure) item.CopyFrom(entry.detail);
        item.MakeStructure();
        // Rounded to a microsecond: more digits only add noise to the document.
        item.Member("ms").SetFloat(static_cast<double>(static_cast<long long>(entry.milliseconds * 1000.0)) / 1000.0);
        item.Member("depth").SetUnsigned(static_cast<std::uint64_t>(entry.depth));
        item.Member("kind").SetString(entry.kind);
        item.Member("summary").SetString(entry.summary);
        if (!entry.payload.IsEmpty()) item.Member("payload").CopyFrom(entry.payload);
    }
    return list;
}

}  // namespace hpk::host
