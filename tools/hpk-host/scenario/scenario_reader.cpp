// Scenario files: from the YAML value tree to a Scenario, with a message for
// every mistake.
#include "scenario/scenario_reader.h"

#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "diagnostics/positional_format.h"
#include "formats/yaml_reader.h"
#include "text/host_messages.h"
#include "text/json_text.h"
#include "scenario/relative_time.h"
#include "scenario/scenario_fields.h"

namespace hpk::host {

namespace {

// Reads the parts of a scenario; relative timestamps resolve against `now`.
class Reader : public ScenarioValueReader {
public:
    explicit Reader(std::uint64_t now) : now_(now) {}

    // value / error / stream, exactly one. `valueOnly` for update steps.
    void Answer(ScenarioFields& fields, ResourceAnswer& out) {
        const BindingValue* value = fields.Take("value");
        const BindingValue* error = fields.Take("error");
        const BindingValue* stream = fields.Take("stream");
        const BindingValue* status = fields.Take("status");
        const int given = (value != nullptr) + (error != nullptr) + (stream != nullptr);
        if (given != 1) {
            Fail(fields.Where(), kMsgScenarioOneAnswer);
            return;
        }
        std::uint64_t code = 200;
        if (status != nullptr && !Unsigned(*status, code, fields.Where(), "status")) return;
        out.status = static_cast<std::int32_t>(code);
        if (value != nullptr) {
            out.kind = ResourceAnswer::Kind::Value;
            out.value.CopyFrom(*value);
            ResolveRelativeTimes(out.value, now_);
        } else if (error != nullptr) {
            ErrorAnswer(*error, out, fields.Where());
        } else {
            StreamAnswer(*stream, out, fields.Where());
        }
    }

    void ErrorAnswer(const BindingValue& error, ResourceAnswer& out, const std::string& where) {
        out.kind = ResourceAnswer::Kind::Error;
        out.status = 500;
        if (error.Kind() != BindingValueKind::Structure) {
            Text(error, out.message, where, "error");
            return;
        }
        ScenarioFields fields(error, where + " error");
        std::uint64_t code = 500;
        if (const BindingValue* status = fields.Take("status")) Unsigned(*status, code, fields.Where(), "status");
        out.status = static_cast<std::int32_t>(code);
        if (const BindingValue* message = fields.Take("message"))
            Text(*message, out.message, fields.Where(), "message");
        CheckUnknown(fields);
        if (Ok() && out.message.empty()) Fail(fields.Where(), kMsgScenarioErrorMessage);
    }

    void StreamAnswer(const BindingValue& stream, ResourceAnswer& out, const std::string& where) {
        out.kind = ResourceAnswer::Kind::Stream;
        if (stream.Kind() != BindingValueKind::Structure) {
            Fail(where, kMsgScenarioStreamShape);
            return;
        }
        ScenarioFields fields(stream, where + " stream");
        const BindingValue* text = fields.Take("text");
        const BindingValue* value = fields.Take("value");
        if ((text != nullptr) == (value != nullptr)) {
            Fail(fields.Where(), kMsgScenarioStreamShape);
            return;
        }
        if (text != nullptr) {
            Text(*text, out.streamText, fields.Where(), "text");
        } else {
            BindingValue body;
            body.CopyFrom(*value);
            ResolveRelativeTimes(body, now_);
            out.streamText = JsonText(body, JsonLayout::Compact);
        }
        std::uint64_t number = 4096;
        if (const BindingValue* chunk = fields.Take("chunk")) Unsigned(*chunk, number, fields.Where(), "chunk");
        if (Ok() && (number == 0 || number > 65536)) Fail(fields.Where(), kMsgScenarioChunk);
        out.chunkSize = static_cast<std::uint32_t>(number);
        if (const BindingValue* fail = fields.Take("fail_at_read")) {
            std::uint64_t read = 0;
            if (Unsigned(*fail, read, fields.Where(), "fail_at_read") && (read == 0 || read > 1000000)) {
                Fail(fields.Where(), FormatPositional(kMsgScenarioNotCount, "fail_at_read"));
            }
            out.failAtRead = static_cast<std::int32_t>(read);
        }
        CheckUnknown(fields);
    }

    void Expect(const BindingValue& value, Expectations& out, const std::string& where);
    void Step(const BindingValue& value, std::size_t number, ScenarioStep& out);

private:
    std::uint64_t now_;
};

void Reader::Expect(const BindingValue& value, Expectations& out, const std::string& where) {
    if (value.Kind() != BindingValueKind::Structure) {
        Fail(where, kMsgScenarioExpectShape);
        return;
    }
    ScenarioFields fields(value, where);
    auto list = [&](const char* key, std::vector<std::string>& target) {
        if (const BindingValue* item = fields.Take(key)) TextList(*item, target, where, key);
    };
    if (const BindingValue* filters = fields.Take("filters")) {
        out.filters.emplace();
        if (filters->Kind() != BindingValueKind::Empty) TextList(*filters, *out.filters, where, "filters");
    }
    list("filters_include", out.filtersInclude);
    list("filters_exclude", out.filtersExclude);
    if (const BindingValue* locale = fields.Take("locale")) {
        out.locale.emplace();
        Text(*locale, *out.locale, where, "locale");
    }
    list("posted", out.posted);
    list("not_posted", out.notPosted);
    if (const BindingValue* counts = fields.Take("posted_count")) {
        if (counts->Kind() != BindingValueKind::Structure) Fail(where, kMsgScenarioPostedCountShape);
        counts->ForEachMember([&](std::string_view name, const BindingValue& count) {
            std::uint64_t number = 0;
            if (Unsigned(count, number, where, "posted_count")) out.postedCount.emplace_back(std::string(name), number);
        });
    }
    if (const BindingValue* telemetry = fields.Take("telemetry")) {
        if (telemetry->Kind() != BindingValueKind::Structure) {
            Fail(where, kMsgScenarioTelemetryShape);
        } else {
            ScenarioFields inner(*telemetry, where + " telemetry");
            if (const BindingValue* count = inner.Take("count")) {
                std::uint64_t number = 0;
                if (Unsigned(*count, number, inner.Where(), "count")) out.telemetryCount = number;
            }
            if (const BindingValue* item = inner.Take("fields"))
                TextList(*item, out.telemetryFields, inner.Where(), "fields");
            if (const BindingValue* item = inner.Take("missing")) {
                TextList(*item, out.telemetryMissing, inner.Where(), "missing");
            }
            if (const BindingValue* values = inner.Take("values")) {
                if (values->Kind() != BindingValueKind::Structure) Fail(inner.Where(), kMsgScenarioTelemetryShape);
                values->ForEachMember([&](std::string_view name, const BindingValue& text) {
                    std::string expected;
                    if (Text(text, expected, inner.Where(), name))
                        out.telemetryValues.emplace_back(std::string(name), expected);
                });
            }
            CheckUnknown(inner);
        }
    }
    list("requested", out.requested);
    list("not_requested", out.notRequested);
    if (const BindingValue* counts = fields.Take("requested_count")) {
        if (counts->Kind() != BindingValueKind::Structure) Fail(where, kMsgScenarioRequestedCountShape);
        counts->ForEachMember([&](std::string_view request, const BindingValue& count) {
            std::uint64_t number = 0;
            if (Unsigned(count, number, where, "requested_count"))
                out.requestedCount.emplace_back(std::string(request), number);
        });
    }
    list("subscribed", out.subscribed);
    list("not_subscribed", out.notSubscribed);
    list("logged", out.logged);
    CheckUnknown(fields);
}

void Reader::Step(const BindingValue& value, std::size_t number, ScenarioStep& out) {
    out.number = number;
    std::string where = FormatPositional(kMsgScenarioStepWhere, static_cast<unsigned>(number));
    if (value.Kind() != BindingValueKind::Structure) {
        Fail(where, kMsgScenarioStepShape);
        return;
    }
    static constexpr std::pair<const char*, ScenarioStep::Kind> kVerbs[] = {
        {"update", ScenarioStep::Kind::Update}, {"delete", ScenarioStep::Kind::Delete},
        {"serve", ScenarioStep::Kind::Serve},   {"get", ScenarioStep::Kind::Get},
        {"wait", ScenarioStep::Kind::Wait},     {"expect", ScenarioStep::Kind::Expect},
        {"post", ScenarioStep::Kind::Post},
    };
    const char* verb = nullptr;
    for (const auto& [name, kind] : kVerbs) {
        if (!value.HasMember(name)) continue;
        if (verb != nullptr) {
            Fail(where, kMsgScenarioStepShape);
            return;
        }
        verb = name;
        out.kind = kind;
    }
    if (verb == nullptr) {
        Fail(where, kMsgScenarioStepShape);
        return;
    }
    ScenarioFields fields(value, FormatPositional(kMsgScenarioStepKindWhere, static_cast<unsigned>(number), verb));
    const BindingValue& argument = *fields.Take(verb);
    if (const BindingValue* note = fields.Take("note")) Text(*note, out.note, fields.Where(), "note");
    switch (out.kind) {
        case ScenarioStep::Kind::Update: {
            Text(argument, out.uri, fields.Where(), verb);
            const BindingValue* data = fields.Take("value");
            if (data == nullptr) {
                Fail(fields.Where(), kMsgScenarioUpdateValue);
                break;
            }
            out.answer.value.CopyFrom(*data);
            ResolveRelativeTimes(out.answer.value, now_);
            if (const BindingValue* during = fields.Take("during")) {
                Text(*during, out.during, fields.Where(), "during");
                if (Ok() && (out.during.empty() || out.during[0] != '/')) Fail(fields.Where(), kMsgScenarioUri);
            }
            if (const BindingValue* event = fields.Take("event")) {
                Text(*event, out.eventType, fields.Where(), "event");
                if (Ok() && out.eventType != "Create" && out.eventType != "Update") {
                    Fail(fields.Where(), kMsgScenarioEventType);
                }
            }
            break;
        }
        case ScenarioStep::Kind::Delete:
        case ScenarioStep::Kind::Get: Text(argument, out.uri, fields.Where(), verb); break;
        case ScenarioStep::Kind::Serve:
            Text(argument, out.uri, fields.Where(), verb);
            Answer(fields, out.answer);
            break;
        case ScenarioStep::Kind::Post: {
            Text(argument, out.uri, fields.Where(), verb);
            const BindingValue* payload = fields.Take("payload");
            if (payload == nullptr) {
                Fail(fields.Where(), kMsgScenarioPostPayload);
                break;
            }
            out.answer.value.CopyFrom(*payload);
            ResolveRelativeTimes(out.answer.value, now_);
            if (Ok() && out.uri.empty()) Fail(fields.Where(), kMsgScenarioPostName);
            break;
        }
        case ScenarioStep::Kind::Wait: Duration(argument, out.milliseconds, fields.Where()); break;
        case ScenarioStep::Kind::Expect: Expect(argument, out.expect, fields.Where()); break;
    }
    if (Ok() && out.kind != ScenarioStep::Kind::Wait && out.kind != ScenarioStep::Kind::Expect &&
        out.kind != ScenarioStep::Kind::Post && (out.uri.empty() || out.uri[0] != '/')) {
        Fail(fields.Where(), kMsgScenarioUri);
    }
    CheckUnknown(fields);
}

}  // namespace

const char* StepKindText(ScenarioStep::Kind kind) {
    switch (kind) {
        case ScenarioStep::Kind::Update: return "update";
        case ScenarioStep::Kind::Delete: return "delete";
        case ScenarioStep::Kind::Serve: return "serve";
        case ScenarioStep::Kind::Get: return "get";
        case ScenarioStep::Kind::Wait: return "wait";
        case ScenarioStep::Kind::Expect: return "expect";
        case ScenarioStep::Kind::Post: return "post";
    }
    return "";
}

Outcome<Scenario> ScenarioFromValue(const BindingValue& root, std::uint64_t nowMilliseconds) {
    Reader reader(nowMilliseconds);
    Scenario out;
    if (root.Kind() != BindingValueKind::Structure) return Fail(kMsgScenarioTopShape);
    ScenarioFields top(root, "scenario");
    if (const BindingValue* name = top.Take("name")) reader.Text(*name, out.name, top.Where(), "name");
    if (const BindingValue* text = top.Take("description"))
        reader.Text(*text, out.description, top.Where(), "description");
    if (const BindingValue* space = top.Take("invariants"))
        reader.Text(*space, out.invariants, top.Where(), "invariants");
    if (const BindingValue* resources = top.Take("resources")) {
        if (resources->Kind() != BindingValueKind::Structure && !resources->IsEmpty()) {
            reader.Fail(top.Where(), kMsgScenarioResourcesShape);
        }
        resources->ForEachMember([&](std::string_view uri, const BindingValue& answerValue) {
            if (!reader.Ok()) return;
            std::string where = FormatPositional(kMsgScenarioResourceWhere, uri);
            if (uri.empty() || uri[0] != '/') reader.Fail(where, kMsgScenarioUri);
            if (answerValue.Kind() != BindingValueKind::Structure) reader.Fail(where, kMsgScenarioOneAnswer);
            if (!reader.Ok()) return;
            ScenarioFields fields(answerValue, where);
            ResourceAnswer answer;
            reader.Answer(fields, answer);
            reader.CheckUnknown(fields);
            out.resources.emplace_back(std::string(uri), std::move(answer));
        });
    }
    if (const BindingValue* steps = top.Take("steps")) {
        if (steps->Kind() != BindingValueKind::Collection && !steps->IsEmpty()) {
            reader.Fail(top.Where(), kMsgScenarioStepsShape);
        }
        for (std::size_t i = 0; reader.Ok() && steps->Kind() == BindingValueKind::Collection && i < steps->Size();
             ++i) {
            ScenarioStep step;
            reader.Step(steps->Element(i), i + 1, step);
            out.steps.push_back(std::move(step));
        }
    }
    reader.CheckUnknown(top);
    if (!reader.Ok()) return Fail(reader.Error());
    return out;
}

Outcome<Scenario> ReadScenarioText(std::string_view text, std::uint64_t nowMilliseconds) {
    BindingResult parsed = ParseYaml(text.data(), text.size());
    if (!parsed.IsOk()) return Fail(FormatPositional(kMsgScenarioYaml, parsed.ErrorText()));
    return ScenarioFromValue(parsed.Value(), nowMilliseconds);
}

Outcome<Scenario> ReadScenarioFile(const std::string& path, std::uint64_t nowMilliseconds) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return Fail(FormatPositional(kMsgScenarioFileUnreadable, path));
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Outcome<Scenario> read = ReadScenarioText(text, nowMilliseconds);
    if (!read.IsOk()) return Fail(path + ": " + read.Error());
    return read;
}

}  // namespace hpk::host
