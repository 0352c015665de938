// Reading the space file. Each variant and each step of the metamorphic set-up
// is checked by reading it as a scenario would, so a space cannot hold what
// `hpk-host run` would refuse to replay.
#include "explore/space.h"

#include <fstream>
#include <iterator>

#include "diagnostics/positional_format.h"
#include "explore/explore_messages.h"
#include "formats/yaml_reader.h"
#include "model/model_session.h"
#include "scenario/relative_time.h"
#include "scenario/scenario_fields.h"
#include "scenario/scenario_reader.h"
#include "text/host_messages.h"

namespace hpk::host {

namespace {

constexpr const char* kStepKindNames[] = {"update", "serve", "delete", "repeat", "get", "post", "nested"};

class SpaceReader : public ScenarioValueReader {
public:
    std::uint32_t Weight(ScenarioFields& fields, const char* key, std::uint32_t fallback) {
        std::uint64_t number = fallback;
        if (const BindingValue* item = fields.Take(key)) Unsigned(*item, number, fields.Where(), key);
        if (number > 1000000) Fail(fields.Where(), FormatPositional(kMsgSpaceWeightTooLarge, key));
        return static_cast<std::uint32_t>(number);
    }

    // A variant: the answer members as a scenario resource writes them, plus weight.
    void Variant(const BindingValue& value, const std::string& uri, const std::string& where, SpaceVariant& out) {
        if (value.Kind() != BindingValueKind::Structure) {
            Fail(where, kMsgSpaceVariantShape);
            return;
        }
        out.answer.MakeStructure();
        value.ForEachMember([&](std::string_view key, const BindingValue& member) {
            if (key == "weight") return;
            out.answer.Member(key).CopyFrom(member);
        });
        ScenarioFields fields(value, where);
        out.weight = Weight(fields, "weight", 1);
        out.hasValue = value.HasMember("value");
        // Checked as the scenario reader would read it as a resource.
        BindingValue probe;
        probe.Member("resources").Member(uri).CopyFrom(out.answer);
        if (Outcome<Scenario> read = ScenarioFromValue(probe, SystemMilliseconds()); !read.IsOk()) {
            Fail(where, read.Error());
        }
    }

    void Input(std::string_view uri, const BindingValue& value, const std::string& where, SpaceInput& out) {
        out.uri = std::string(uri);
        if (uri.empty() || uri[0] != '/') Fail(where, kMsgScenarioUri);
        if (value.Kind() == BindingValueKind::Collection) {  // commuting inputs: just the variants
            Variants(value, where, out);
            return;
        }
        if (value.Kind() != BindingValueKind::Structure) {
            Fail(where, kMsgSpaceInputShape);
            return;
        }
        ScenarioFields fields(value, where);
        out.weight = Weight(fields, "weight", 1);
        out.atStart = Weight(fields, "at_start", 50);
        if (out.atStart > 100) Fail(where, FormatPositional(kMsgSpaceNotPercentage, "at_start"));
        const BindingValue* variants = fields.Take("variants");
        CheckUnknown(fields);
        if (variants == nullptr || variants->Kind() != BindingValueKind::Collection) {
            Fail(where, kMsgSpaceVariantsShape);
            return;
        }
        Variants(*variants, where, out);
    }

    void Variants(const BindingValue& list, const std::string& where, SpaceInput& out) {
        for (std::size_t i = 0; i < list.Size() && Ok(); ++i) {
            SpaceVariant variant;
            Variant(list.Element(i), out.uri,
                    FormatPositional(kMsgSpaceVariantWhere, where, static_cast<unsigned>(i + 1)), variant);
            out.valueWeights.push_back(variant.hasValue ? variant.weight : 0);
            out.allWeights.push_back(variant.weight);
            out.variants.push_back(std::move(variant));
        }
        if (Ok() && out.variants.empty()) Fail(where, kMsgSpaceNoVariant);
    }

    void Served(const BindingValue& value, Space& out) {
        if (value.Kind() != BindingValueKind::Structure) {
            Fail("served", kMsgSpaceServedShape);
            return;
        }
        value.ForEachMember([&](std::string_view path, const BindingValue& rule) {
            if (!Ok()) return;
            ServedRule served;
            served.path = std::string(path);
            const std::string where = FormatPositional(kMsgSpaceServedWhere, served.path);
            if (rule.Kind() == BindingValueKind::Structure) {
                ScenarioFields fields(rule, where);
                if (const BindingValue* list = fields.Take("list")) Text(*list, served.list, where, "list");
                if (const BindingValue* order = fields.Take("order")) TextList(*order, served.order, where, "order");
                CheckUnknown(fields);
            } else if (!rule.IsEmpty()) {
                Fail(where, kMsgSpaceRuleShape);
            }
            for (const std::string& pattern : served.order) {
                Outcome<TextPattern> compiled = TextPattern::Compile(pattern);
                if (compiled.IsOk()) {
                    served.patterns.push_back(std::move(compiled.Value()));
                } else {
                    Fail(where, FormatPositional(kMsgPatternProblem, pattern, compiled.Error()));
                }
            }
            out.served.push_back(std::move(served));
        });
    }

    void Metamorphic(const BindingValue& value, Space& out) {
        const std::string where = "metamorphic";
        if (value.Kind() != BindingValueKind::Structure) {
            Fail(where, kMsgSpaceMetamorphicShape);
            return;
        }
        ScenarioFields fields(value, where);
        out.metamorphic.share = Weight(fields, "share", 0);
        if (out.metamorphic.share > 100) Fail(where, FormatPositional(kMsgSpaceNotPercentage, "share"));
        if (const BindingValue* resources = fields.Take("resources")) out.metamorphic.resources.CopyFrom(*resources);
        if (const BindingValue* setup = fields.Take("setup")) out.metamorphic.setup.CopyFrom(*setup);
        if (const BindingValue* commute = fields.Take("commute")) {
            commute->ForEachMember([&](std::string_view uri, const BindingValue& variants) {
                if (!Ok()) return;
                SpaceInput input;
                const std::string place = FormatPositional(kMsgSpaceCommuteWhere, uri);
                Input(uri, variants, place, input);
                for (const SpaceVariant& variant : input.variants) {
                    if (!variant.hasValue) Fail(place, kMsgSpaceCommuteValues);
                }
                out.metamorphic.commute.push_back(std::move(input));
            });
        }
        CheckUnknown(fields);
        BindingValue probe;
        probe.Member("resources").CopyFrom(out.metamorphic.resources);
        probe.Member("steps").CopyFrom(out.metamorphic.setup);
        if (!Ok()) return;
        if (Outcome<Scenario> read = ScenarioFromValue(probe, SystemMilliseconds()); !read.IsOk()) {
            Fail(where, read.Error());
        }
        if (Ok() && out.metamorphic.share != 0 && out.metamorphic.commute.empty()) {
            Fail(where, kMsgSpaceShareNeedsCommute);
        }
    }
};

}  // namespace

const char* SpaceStepKindText(SpaceStepKind kind) { return kStepKindNames[static_cast<int>(kind)]; }

Outcome<Space> SpaceFromText(std::string_view text) {
    BindingResult parsed = ParseYaml(text.data(), text.size());
    if (!parsed.IsOk()) return Fail(FormatPositional(kMsgScenarioYaml, parsed.ErrorText()));
    const BindingValue& root = parsed.Value();
    if (root.Kind() != BindingValueKind::Structure) return Fail(kMsgSpaceTopShape);
    Space out;
    SpaceReader reader;
    ScenarioFields top(root, "space");
    if (const BindingValue* name = top.Take("name")) reader.Text(*name, out.name, "space", "name");
    if (const BindingValue* served = top.Take("served")) reader.Served(*served, out);
    if (const BindingValue* inputs = top.Take("inputs")) {
        inputs->ForEachMember([&](std::string_view uri, const BindingValue& value) {
            if (!reader.Ok()) return;
            SpaceInput input;
            reader.Input(uri, value, FormatPositional(kMsgSpaceInputWhere, uri), input);
            out.inputs.push_back(std::move(input));
        });
    }
    if (reader.Ok() && out.inputs.empty()) reader.Fail("space", kMsgSpaceNoInput);
    out.stepWeights.assign(static_cast<std::size_t>(SpaceStepKind::Count), 0);
    out.stepWeights[0] = 1;
    if (const BindingValue* steps = top.Take("steps")) {
        ScenarioFields fields(*steps, "steps");
        for (std::size_t kind = 0; kind < out.stepWeights.size(); ++kind) {
            out.stepWeights[kind] = reader.Weight(fields, kStepKindNames[kind], kind == 0 ? 1 : 0);
        }
        reader.CheckUnknown(fields);
    }
    if (const BindingValue* gets = top.Take("gets")) reader.TextList(*gets, out.gets, "space", "gets");
    if (const BindingValue* nest = top.Take("nest_in")) reader.TextList(*nest, out.nestIn, "space", "nest_in");
    if (const BindingValue* posts = top.Take("posts")) {
        for (std::size_t i = 0; posts->Kind() == BindingValueKind::Collection && i < posts->Size(); ++i) {
            const std::string where = FormatPositional(kMsgSpacePostWhere, static_cast<unsigned>(i + 1));
            ScenarioFields fields(posts->Element(i), where);
            SpacePost post;
            if (const BindingValue* event = fields.Take("event")) reader.Text(*event, post.event, where, "event");
            if (const BindingValue* payload = fields.Take("payload")) post.payload.CopyFrom(*payload);
            post.weight = reader.Weight(fields, "weight", 1);
            reader.CheckUnknown(fields);
            if (reader.Ok() && post.event.empty()) reader.Fail(where, kMsgScenarioPostName);
            out.postWeights.push_back(post.weight);
            out.posts.push_back(std::move(post));
        }
    }
    if (const BindingValue* metamorphic = top.Take("metamorphic")) reader.Metamorphic(*metamorphic, out);
    if (const BindingValue* model = top.Take("model")) {
        reader.Text(*model, out.model, "space", "model");
        if (reader.Ok() && out.model != kContentTargetingModel) {
            reader.Fail("space", FormatPositional(kMsgSpaceUnknownModel, kContentTargetingModel));
        }
    }
    reader.CheckUnknown(top);
    auto need = [&](SpaceStepKind kind, bool available, const char* what) {
        if (reader.Ok() && out.stepWeights[static_cast<int>(kind)] != 0 && !available) {
            reader.Fail("steps", FormatPositional(kMsgSpaceStepsNeed, SpaceStepKindText(kind), what));
        }
    };
    need(SpaceStepKind::Get, !out.gets.empty(), "'gets'");
    need(SpaceStepKind::Post, !out.posts.empty(), "'posts'");
    need(SpaceStepKind::Nested, !out.nestIn.empty(), "'nest_in'");
    if (!reader.Ok()) return Fail(reader.Error());
    return out;
}

Outcome<Space> ReadSpaceFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return Fail(FormatPositional(kMsgSpaceFileUnreadable, path));
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Outcome<Space> read = SpaceFromText(text);
    if (!read.IsOk()) return Fail(path + ": " + read.Error());
    read.Value().path = path;
    return read;
}

}  // namespace hpk::host
