// Drawing sessions from a space with the explorer's own random numbers.
#include "explore/generate.h"

#include "diagnostics/positional_format.h"
#include "explore/explore_messages.h"
#include "explore/random.h"
#include "text/json_text.h"

namespace hpk::host {

namespace {

// Every sixth update says Create, as the initial fetch of a watch would.
constexpr std::uint32_t kCreateShare = 16;

class Generator {
public:
    Generator(const Space& space, ExploreRandom& random) : space_(space), random_(random) {}

    const SpaceInput& PickInput() {
        std::vector<std::uint32_t> weights;
        for (const SpaceInput& input : space_.inputs) weights.push_back(input.weight);
        return space_.inputs[random_.Weighted(weights)];
    }

    // A value variant when the input has one, else nothing.
    const SpaceVariant* PickValue(const SpaceInput& input) {
        for (std::uint32_t weight : input.valueWeights) {
            if (weight != 0) return &input.variants[random_.Weighted(input.valueWeights)];
        }
        return nullptr;
    }

    void Update(BindingValue& step, const SpaceInput& input, const SpaceVariant& variant) {
        step.Member("update").SetString(input.uri);
        step.Member("value").CopyFrom(variant.answer.Member("value"));
        if (random_.Chance(kCreateShare)) step.Member("event").SetString("Create");
    }

    void Serve(BindingValue& step, const SpaceInput& input) {
        const SpaceVariant& variant = input.variants[random_.Weighted(input.allWeights)];
        step.Member("serve").SetString(input.uri);
        variant.answer.ForEachMember(
            [&](std::string_view key, const BindingValue& member) { step.Member(key).CopyFrom(member); });
    }

    void Step(BindingValue& steps) {
        const auto kind = static_cast<SpaceStepKind>(random_.Weighted(space_.stepWeights));
        BindingValue& step = steps.Append();
        step.MakeStructure();
        switch (kind) {
            case SpaceStepKind::Repeat:
                if (steps.Size() >= 2 && steps.Element(steps.Size() - 2).HasMember("update") &&
                    !steps.Element(steps.Size() - 2).HasMember("during")) {
                    step.CopyFrom(steps.Element(steps.Size() - 2));
                    return;
                }
                [[fallthrough]];
            case SpaceStepKind::Update:
            case SpaceStepKind::Nested: {
                const SpaceInput& input = PickInput();
                const SpaceVariant* variant = PickValue(input);
                if (variant == nullptr) {
                    Serve(step, input);
                    return;
                }
                Update(step, input, *variant);
                if (kind == SpaceStepKind::Nested) {
                    step.Member("during").SetString(
                        space_.nestIn[random_.Below(static_cast<std::uint32_t>(space_.nestIn.size()))]);
                }
                return;
            }
            case SpaceStepKind::Serve: Serve(step, PickInput()); return;
            case SpaceStepKind::Delete: step.Member("delete").SetString(PickInput().uri); return;
            case SpaceStepKind::Get:
                step.Member("get").SetString(
                    space_.gets[random_.Below(static_cast<std::uint32_t>(space_.gets.size()))]);
                return;
            case SpaceStepKind::Post: {
                const SpacePost& post = space_.posts[random_.Weighted(space_.postWeights)];
                step.Member("post").SetString(post.event);
                step.Member("payload").CopyFrom(post.payload);
                return;
            }
            case SpaceStepKind::Count: break;
        }
    }

private:
    const Space& space_;
    ExploreRandom& random_;
};

void Header(BindingValue& document, const Space& space, std::uint64_t seed, std::uint64_t index) {
    document.MakeStructure();
    document.Member("name").SetString(FormatPositional(kMsgSessionName, seed, index));
    document.Member("invariants").SetString(space.path);
}

ExploreSession Metamorphic(const Space& space, ExploreRandom& random, std::uint64_t seed, std::uint64_t index,
                           std::uint32_t count) {
    ExploreSession session;
    Header(session.document, space, seed, index);
    session.document.Member("resources").CopyFrom(space.metamorphic.resources);
    BindingValue& steps = session.document.Member("steps");
    steps.MakeCollection();
    for (std::size_t i = 0; i < space.metamorphic.setup.Size(); ++i)
        steps.Append().CopyFrom(space.metamorphic.setup.Element(i));
    session.setupSteps = steps.Size();
    // Per input, its updates in order; the two sessions interleave them
    // differently but keep each input's own order, so both end with the same
    // input states.
    std::vector<std::vector<BindingValue>> queues(space.metamorphic.commute.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t which = random.Below(static_cast<std::uint32_t>(queues.size()));
        const SpaceInput& input = space.metamorphic.commute[which];
        const SpaceVariant& variant = input.variants[random.Weighted(input.allWeights)];
        BindingValue step;
        step.Member("update").SetString(input.uri);
        step.Member("value").CopyFrom(variant.answer.Member("value"));
        queues[which].push_back(std::move(step));
    }
    session.reordered.CopyFrom(session.document);
    for (int order = 0; order < 2; ++order) {
        BindingValue& target = (order == 0 ? session.document : session.reordered).Member("steps");
        std::vector<std::size_t> next(queues.size(), 0);
        for (std::uint32_t placed = 0; placed < count; ++placed) {
            std::vector<std::uint32_t> left;
            for (std::size_t q = 0; q < queues.size(); ++q)
                left.push_back(static_cast<std::uint32_t>(queues[q].size() - next[q]));
            const std::size_t q = random.Weighted(left);
            target.Append().CopyFrom(queues[q][next[q]++]);
        }
    }
    return session;
}

}  // namespace

ExploreSession GenerateSession(const Space& space, std::uint64_t seed, std::uint64_t index, std::uint32_t steps) {
    ExploreRandom random = ExploreRandom::ForSession(seed, index);
    if (space.metamorphic.share != 0 && random.Chance(space.metamorphic.share)) {
        return Metamorphic(space, random, seed, index, steps);
    }
    ExploreSession session;
    Header(session.document, space, seed, index);
    BindingValue& resources = session.document.Member("resources");
    resources.MakeStructure();
    for (const SpaceInput& input : space.inputs) {
        if (!random.Chance(input.atStart)) continue;
        const SpaceVariant& variant = input.variants[random.Weighted(input.allWeights)];
        resources.Member(input.uri).CopyFrom(variant.answer);
    }
    BindingValue& list = session.document.Member("steps");
    list.MakeCollection();
    Generator generator(space, random);
    for (std::uint32_t i = 0; i < steps; ++i) generator.Step(list);
    return session;
}

std::string ValueKey(const BindingValue& value) { return JsonText(value, JsonLayout::Compact); }

}  // namespace hpk::host
