// Why lines into the timeline, onto the terminal and into the JSON document.
#include "report/why_report.h"

#include "model/why_lines.h"

namespace hpk::host {

void RecordWhyLines(Timeline& timeline, const FeatureModel& model, std::size_t step, const std::string& heading,
                    std::FILE* out) {
    const std::vector<WhyLine> lines = WhyLines(model);
    if (out != nullptr) std::fprintf(out, "%s\n", heading.c_str());
    for (const WhyLine& line : lines) {
        timeline.Record("why", line.text, {}, Facts({{"step", std::to_string(step)}, {"output", line.output}}));
        if (out != nullptr) std::fprintf(out, "  %s\n", line.text.c_str());
    }
    if (out != nullptr) std::fflush(out);
}

BindingValue WhyLinesValue(const Timeline& timeline) {
    BindingValue list;
    list.MakeCollection();
    for (const TimelineEntry& entry : timeline.Entries()) {
        if (entry.kind != "why") continue;
        BindingValue& item = list.Append();
        item.Member("step").SetUnsigned(std::stoul(std::string(entry.detail.Member("step").AsString())));
        item.Member("output").CopyFrom(entry.detail.Member("output"));
        item.Member("text").SetString(entry.summary);
    }
    return list;
}

}  // namespace hpk::host
