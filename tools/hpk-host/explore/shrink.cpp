// Shrinking by replaying candidates in worker processes.
#include "explore/shrink.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "diagnostics/positional_format.h"
#include "explore/explore_messages.h"
#include "explore/process.h"
#include "explore/scenario_yaml.h"

namespace hpk::host {

namespace {

// Enough for a 20-step session to reach single steps and single members.
constexpr std::size_t kMaxCandidates = 600;

struct PathPart {
    bool member = true;
    std::string key;
    std::size_t index = 0;
};
using ValuePath = std::vector<PathPart>;

BindingValue* Walk(BindingValue& root, const ValuePath& path) {
    BindingValue* at = &root;
    for (const PathPart& part : path) {
        if (part.member) {
            if (at->Kind() != BindingValueKind::Structure || !at->HasMember(part.key)) return nullptr;
            at = &at->Member(part.key);
        } else {
            if (at->Kind() != BindingValueKind::Collection || part.index >= at->Size()) return nullptr;
            at = &at->Element(part.index);
        }
    }
    return at;
}

// Removes the last part of `path` from its parent.
bool Remove(BindingValue& root, const ValuePath& path) {
    ValuePath parentPath(path.begin(), path.end() - 1);
    BindingValue* parent = Walk(root, parentPath);
    if (parent == nullptr) return false;
    const PathPart& last = path.back();
    BindingValue rebuilt;
    if (last.member) {
        if (parent->Kind() != BindingValueKind::Structure || !parent->HasMember(last.key)) return false;
        rebuilt.MakeStructure();
        parent->ForEachMember([&](std::string_view key, const BindingValue& value) {
            if (key != last.key) rebuilt.Member(key).CopyFrom(value);
        });
    } else {
        if (parent->Kind() != BindingValueKind::Collection || last.index >= parent->Size()) return false;
        rebuilt.MakeCollection();
        for (std::size_t i = 0; i < parent->Size(); ++i) {
            if (i != last.index) rebuilt.Append().CopyFrom(parent->Element(i));
        }
    }
    parent->CopyFrom(rebuilt);
    return true;
}

// Paths of every member and element below `path`, parents before children.
void Collect(const BindingValue& value, ValuePath& path, std::vector<ValuePath>& out) {
    if (value.Kind() == BindingValueKind::Structure) {
        value.ForEachMember([&](std::string_view key, const BindingValue& member) {
            path.push_back({true, std::string(key), 0});
            out.push_back(path);
            Collect(member, path, out);
            path.pop_back();
        });
    } else if (value.Kind() == BindingValueKind::Collection) {
        for (std::size_t i = 0; i < value.Size(); ++i) {
            path.push_back({false, "", i});
            out.push_back(path);
            Collect(value.Element(i), path, out);
            path.pop_back();
        }
    }
}

class Shrinker {
public:
    Shrinker(const ExploreOptions& options, std::string invariant)
        : options_(options), invariant_(std::move(invariant)) {
        std::error_code ignored;
        std::filesystem::create_directories(options_.outDir, ignored);
        candidate_ = options_.outDir + "/shrink-candidate.yaml";
        candidateReordered_ = options_.outDir + "/shrink-candidate-reordered.yaml";
    }
    ~Shrinker() {
        std::error_code ignored;
        std::filesystem::remove(candidate_, ignored);
        std::filesystem::remove(candidateReordered_, ignored);
    }

    // Whether the candidate still breaks the invariant.
    bool Fails(const BindingValue& document, const BindingValue* reordered) {
        if (++candidates_ > kMaxCandidates) return false;
        std::ofstream(candidate_, std::ios::binary | std::ios::trunc) << ScenarioYaml(document);
        std::vector<std::string> arguments = {"explore",
                                              "--replay",
                                              candidate_,
                                              "--plugin",
                                              options_.pluginPath,
                                              "--timeout",
                                              std::to_string(options_.timeoutSeconds)};
        if (reordered != nullptr) {
            std::ofstream(candidateReordered_, std::ios::binary | std::ios::trunc) << ScenarioYaml(*reordered);
            arguments.push_back("--reordered");
            arguments.push_back(candidateReordered_);
        }
        WorkerProcess worker;
        if (!worker.Start(arguments)) return false;
        std::string line;
        WorkerLine parsed;
        bool any = false;
        while (worker.ReadLine(line)) {
            if (ParseWorkerLine(line, parsed) && parsed.kind != WorkerLineKind::Done) {
                any = true;
                break;
            }
        }
        const std::string how = worker.Finish();
        if (!any) {
            parsed.kind = WorkerLineKind::Failed;
            parsed.invariant = "no-crash";
            parsed.message = FormatPositional(kMsgBreachProcessEnded, how);
        }
        if (parsed.kind != WorkerLineKind::Failed || parsed.invariant != invariant_) return false;
        message_ = parsed.message;
        return true;
    }

    std::size_t Candidates() const { return candidates_; }
    const std::string& Message() const { return message_; }

private:
    const ExploreOptions& options_;
    std::string invariant_;
    std::string candidate_;
    std::string candidateReordered_;
    std::size_t candidates_ = 0;
    std::string message_;
};

BindingValue WithoutSteps(const BindingValue& document, std::size_t from, std::size_t count) {
    BindingValue out;
    out.CopyFrom(document);
    BindingValue& steps = out.Member("steps");
    BindingValue kept;
    kept.MakeCollection();
    for (std::size_t i = 0; i < steps.Size(); ++i) {
        if (i < from || i >= from + count) kept.Append().CopyFrom(steps.Element(i));
    }
    steps.CopyFrom(kept);
    return out;
}

void DropSteps(Shrinker& shrinker, BindingValue& document) {
    std::size_t chunk = document.Member("steps").Size() / 2;
    if (chunk == 0) chunk = 1;
    for (;;) {
        bool removed = false;
        for (std::size_t from = 0; from < document.Member("steps").Size();) {
            BindingValue candidate = WithoutSteps(document, from, chunk);
            if (shrinker.Fails(candidate, nullptr)) {
                document.CopyFrom(candidate);
                removed = true;
            } else {
                from += chunk;
            }
        }
        if (chunk == 1 && !removed) return;
        if (chunk > 1) chunk /= 2;
    }
}

void DropValues(Shrinker& shrinker, BindingValue& document) {
    // Resources first (whole), then members anywhere below a resource's answer
    // or a step's value or payload. Paths are collected again after every
    // success, since a removal moves the elements after it.
    for (bool progress = true; progress;) {
        progress = false;
        std::vector<ValuePath> paths;
        ValuePath path;
        const BindingValue& resources = document.Member("resources");
        resources.ForEachMember([&](std::string_view uri, const BindingValue&) {
            paths.push_back({{true, "resources", 0}, {true, std::string(uri), 0}});
        });
        const BindingValue& steps = document.Member("steps");
        for (std::size_t i = 0; i < steps.Size(); ++i) {
            for (const char* key : {"value", "payload", "event"}) {
                if (!steps.Element(i).HasMember(key)) continue;
                path = {{true, "steps", 0}, {false, "", i}, {true, key, 0}};
                if (std::string(key) == "event") {
                    paths.push_back(path);
                    continue;
                }
                Collect(steps.Element(i).Member(key), path, paths);
            }
        }
        resources.ForEachMember([&](std::string_view uri, const BindingValue& answer) {
            path = {{true, "resources", 0}, {true, std::string(uri), 0}, {true, "value", 0}};
            if (answer.HasMember("value")) Collect(answer.Member("value"), path, paths);
        });
        for (const ValuePath& candidatePath : paths) {
            BindingValue candidate;
            candidate.CopyFrom(document);
            if (!Remove(candidate, candidatePath)) continue;
            if (shrinker.Fails(candidate, nullptr)) {
                document.CopyFrom(candidate);
                progress = true;
                break;
            }
        }
    }
}

// Metamorphic pairs: a step is dropped from both orders at once. Set-up steps
// sit at the same place in both; a commuting step is the k-th update of its
// URI in each.
void DropPairedSteps(Shrinker& shrinker, BindingValue& first, BindingValue& second, std::size_t setup) {
    for (bool progress = true; progress;) {
        progress = false;
        const std::size_t count = first.Member("steps").Size();
        for (std::size_t i = 0; i < count && !progress; ++i) {
            std::size_t j = i;
            if (i >= setup) {
                const BindingValue& steps = first.Member("steps");
                const std::string uri(steps.Element(i).Member("update").AsString());
                std::size_t occurrence = 0;
                for (std::size_t k = setup; k < i; ++k)
                    occurrence += steps.Element(k).Member("update").AsString() == uri;
                const BindingValue& other = second.Member("steps");
                for (j = setup; j < other.Size(); ++j) {
                    if (other.Element(j).Member("update").AsString() != uri) continue;
                    if (occurrence-- == 0) break;
                }
                if (j >= other.Size()) continue;
            }
            BindingValue a = WithoutSteps(first, i, 1);
            BindingValue b = WithoutSteps(second, j, 1);
            if (shrinker.Fails(a, &b)) {
                first.CopyFrom(a);
                second.CopyFrom(b);
                if (i < setup) --setup;
                progress = true;
            }
        }
    }
}

}  // namespace

ShrinkResult ShrinkSession(const ExploreOptions& options, const ExploreSession& session, const std::string& invariant) {
    ShrinkResult result;
    result.document.CopyFrom(session.document);
    Shrinker shrinker(options, invariant);
    const bool metamorphic = !session.reordered.IsEmpty();
    if (metamorphic) {
        result.reordered.CopyFrom(session.reordered);
        if (shrinker.Fails(result.document, &result.reordered)) {
            DropPairedSteps(shrinker, result.document, result.reordered, session.setupSteps);
        }
    } else if (shrinker.Fails(result.document, nullptr)) {
        DropSteps(shrinker, result.document);
        DropValues(shrinker, result.document);
    }
    const std::string name(result.document.Member("name").AsString());
    result.document.Member("name").SetString(FormatPositional(kMsgShrunkName, name));
    result.document.Member("description")
        .SetString(metamorphic ? FormatPositional(kMsgShrunkOrderDescription, invariant)
                               : FormatPositional(kMsgShrunkDescription, invariant, shrinker.Message()));
    if (metamorphic) result.reordered.Member("name").SetString(FormatPositional(kMsgShrunkReorderedName, name));
    result.message = shrinker.Message();
    result.candidates = shrinker.Candidates();
    return result;
}

}  // namespace hpk::host
