// A driver for counting instructions under callgrind: one path, one input,
// a chosen number of iterations. Only HpkMeasured is collected (callgrind
// --collect-atstart=no --toggle-collect=HpkMeasured), and it runs after one
// warm-up iteration, so reading the file, start-up and first-use set-up are
// not counted. scripts/bench-callgrind.sh runs every pair and prints the table.
//
//   hpk-callgrind-driver CASE FILE ITERATIONS     one measured path
//   hpk-callgrind-driver memory EVENTS            peak live bytes, no callgrind
//   hpk-callgrind-driver string-bytes FILE        bytes of string payload (keys
//                                                 and values) of a MessagePack file
//
// CASE is one of json/ours json/rapidjson json/rapidjson-interned
// json/rapidjson-walked msgpack/ours msgpack/msgpack-cxx
// msgpack/msgpack-cxx-interned msgpack/msgpack-cxx-walked
// yaml/ours yaml/libyaml-events yaml/libyaml-interned yaml/yaml-cpp
// record/ours record/nlohmann plugin/get plugin/update plugin/load. The
// -interned and -walked cases measure the floors of bench/peer_floors.h. A
// record case picks its record from FILE's name (platform-config or
// champion-games); plugin cases ignore FILE.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <yaml-cpp/yaml.h>
#define MSGPACK_NO_BOOST
#include <msgpack.hpp>

#include "binding/binding_convert.h"
#include "binding/type_registry.h"
#include "content_targeting/record_registration.h"
#include "content_targeting/records.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "peer_floors.h"
#include "peer_yaml.h"
#include "boundary/allocation_hooks.h"
#include "support/fake_host.h"

using Vela::Client::Api::ChampionGames;
using Vela::Client::Api::ChampionGamesCollection;
using Vela::Client::Api::PlatformConfig;

// The peer's conversion, written as its users write it: a member that is
// missing keeps the record's default, as in ours.
namespace Vela::Client::Api {

template <class T>
void ReadMember(const nlohmann::json& json, const char* name, T& field) {
    const auto found = json.find(name);
    if (found != json.end()) found->get_to(field);
}

void from_json(const nlohmann::json& json, PlatformConfig& config) {
    ReadMember(json, "Enabled", config.Enabled);
    ReadMember(json, "Mapping", config.Mapping);
    ReadMember(json, "RevivalFilterEnabled", config.RevivalFilterEnabled);
    ReadMember(json, "LaneFilterEnabled", config.LaneFilterEnabled);
    ReadMember(json, "LaneFilterThreshold", config.LaneFilterThreshold);
    ReadMember(json, "LevelFilterEnabled", config.LevelFilterEnabled);
    ReadMember(json, "RankedFilterEnabled", config.RankedFilterEnabled);
    ReadMember(json, "LocationFiltersEnabled", config.LocationFiltersEnabled);
}

void from_json(const nlohmann::json& json, ChampionGames& game) {
    ReadMember(json, "championId", game.championId);
    ReadMember(json, "queue", game.queue);
    ReadMember(json, "lane", game.lane);
    ReadMember(json, "role", game.role);
    ReadMember(json, "timestamp", game.timestamp);
}

void from_json(const nlohmann::json& json, ChampionGamesCollection& collection) {
    ReadMember(json, "gameCount", collection.gameCount);
    ReadMember(json, "champions", collection.champions);
}

}  // namespace Vela::Client::Api

namespace {

using Step = std::function<bool()>;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "hpk-callgrind-driver: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::exit(2);
}

std::string ReadFile(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) Fail("cannot open", path);
    std::string bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

hpk::BindingValue JsonValue(const std::string& text) {
    hpk::BindingResult parsed = hpk::ParseJson(text.c_str());
    if (!parsed.IsOk()) Fail("bad bench input", parsed.ErrorText());
    hpk::BindingValue value;
    parsed.TakeValue(value);
    return value;
}

const hpk::BindingTypeRegistry& RecordRegistry() {
    static hpk::BindingTypeRegistry* registry = [] {
        auto* r = new hpk::BindingTypeRegistry;
        hpk::content_targeting::RegisterRecordTypes(*r, "HpkBeArxContentTargeting");
        return r;
    }();
    return *registry;
}

template <class Record>
Step OursIntoRecord(const std::string* text) {
    return [text] {
        hpk::BindingResult parsed = hpk::ParseJson(text->c_str());
        Record record;
        hpk::BindingResult converted;
        hpk::FromValue(converted, record, parsed.Value(), "<value>", RecordRegistry());
        return parsed.IsOk() && converted.IsOk();
    };
}

template <class Record>
Step NlohmannIntoRecord(const std::string* text) {
    return [text] {
        const Record record = nlohmann::json::parse(*text).get<Record>();
        return sizeof record != 0;
    };
}

// ---- The whole plugin against the fake host. ----

constexpr char kLogin[] = "/arx-login/v1/session";
constexpr char kConfig[] = "/arx-platform-config/v1/namespaces/TvxContentTargeting";
constexpr char kFilters[] = "/arx-content-targeting/v1/filters";

hpk::BindingValue BenchJson(const char* name) {
    return JsonValue(ReadFile((std::string(HPK_BENCH_DATA) + "/" + name).c_str()));
}

void ServeEveryInput(hpk::FakeHost& host) {
    host.ServeValue(kLogin, BenchJson("small-login-session.json"));
    host.ServeValue(kConfig, BenchJson("small-platform-config.json"));
    host.ServeValue("/vodivozaze/get_region_locale", JsonValue(R"({"locale": "pt_BR"})"));
    host.ServeValue("/arx-settings/v2/ready", JsonValue("true"));
    host.ServeValue("/arx-geoinfo/v1/whereami", BenchJson("small-geoinfo.json"));
    host.ServeValue("/arx-settings/v2/account/TVXPreferences/arx-content-targeting",
                    JsonValue(R"({"data": {"selectedLanguage": "pt_BR"}})"));
    host.ServeValue("/arx-acs/v2/recently-played-champions/current-summoner", BenchJson("small-champion-games.json"));
    host.ServeValue("/arx-acs/v2/request-recently-played-champions/current-summoner", hpk::BindingValue());
    host.ServeValue("/arx-summoner/v1/current-summoner", JsonValue(R"({"summonerLevel": 187})"));
    host.ServeValue("/telemetry/v1/events/hpk_be_arx_content_targeting", hpk::BindingValue());
}

struct PluginRun {
    hpk::FakeHost host;
    hpk::FakePluginSession session{host};
    hpk::BindingValue config;
    const HostEndpointRecord* filters = nullptr;

    PluginRun() {
        ServeEveryInput(host);
        if (!session.Load() || !session.Init()) Fail("the plugin did not start");
        filters = hpk::FakeHost::FindEndpoint(*session.Record().hostTable, kFilters);
        if (filters == nullptr) Fail("no filters endpoint");
        config = BenchJson("small-platform-config.json");
        host.ClearRecords();
    }
    bool Update() {
        const bool delivered = host.DeliverResourceEvent(kConfig, hpk::PluginResourceEventType::Update, config);
        const bool published = host.PostedEvents().size() >= 2;
        host.ClearRecords();
        return delivered && published;
    }
    bool Get() {
        const hpk::FakeHost::ServedResponse served = host.CallEndpoint(*filters, 2, kFilters);
        return !served.error && served.body.Size() != 0;
    }
};

Step LoadAndInit(hpk::FakeHost& host) {
    return [&host] {
        hpk::FakePluginSession session(host);
        const bool started = session.Load() && session.Init();
        session.Shutdown();
        host.ClearRecords();
        return started;
    };
}

// Peak live bytes after start-up with every input, then after `events`
// platform configuration updates. The peak counter never goes down, so the
// second figure includes the first.
int Memory(int events) {
    PluginRun run;
    const std::uint64_t afterInit = run.session.Counters().peakLiveBytes;
    for (int i = 0; i < events; ++i) {
        if (!run.Update()) Fail("an update was not published");
    }
    const MemoryCountersRecord counters = run.session.Counters();
    std::printf("peak-after-init %llu\npeak-after-events %llu\nlive-after-events %lld\n",
                static_cast<unsigned long long>(afterInit), static_cast<unsigned long long>(counters.peakLiveBytes),
                static_cast<long long>(hpk::LiveBytes()));
    return 0;
}

}  // namespace

// The bytes of every string (member names included) of the MessagePack
// document, counted through the peer's object tree.
static std::uint64_t StringBytes(const msgpack::object& root) {
    std::uint64_t total = 0;
    std::vector<const msgpack::object*> pending{&root};
    while (!pending.empty()) {
        const msgpack::object* object = pending.back();
        pending.pop_back();
        switch (object->type) {
            case msgpack::type::STR: total += object->via.str.size; break;
            case msgpack::type::ARRAY:
                for (std::uint32_t i = 0; i < object->via.array.size; ++i) pending.push_back(&object->via.array.ptr[i]);
                break;
            case msgpack::type::MAP:
                for (std::uint32_t i = 0; i < object->via.map.size; ++i) {
                    pending.push_back(&object->via.map.ptr[i].key);
                    pending.push_back(&object->via.map.ptr[i].val);
                }
                break;
            default: break;
        }
    }
    return total;
}

// The only function callgrind collects. Not inlined, so it exists by name.
extern "C" __attribute__((noinline)) int HpkMeasured(const Step* step, int iterations) {
    int failures = 0;
    for (int i = 0; i < iterations; ++i) failures += (*step)() ? 0 : 1;
    return failures;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "memory") == 0) return Memory(std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "string-bytes") == 0) {
        const std::string input = ReadFile(argv[2]);
        const msgpack::object_handle handle = msgpack::unpack(input.data(), input.size());
        std::printf("%llu\n", static_cast<unsigned long long>(StringBytes(handle.get())));
        return 0;
    }
    if (argc != 4) Fail("usage: hpk-callgrind-driver CASE FILE ITERATIONS | memory EVENTS");
    const std::string name = argv[1];
    const std::string path = argv[2];
    const int iterations = std::atoi(argv[3]);
    const std::string input = name.rfind("plugin/", 0) == 0 ? std::string() : ReadFile(path.c_str());
    const std::string* text = &input;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(input.data());

    PluginRun* run = nullptr;  // constructed only for the steady-state plugin cases
    hpk::FakeHost loadHost;
    Step step;
    if (name == "json/ours") {
        step = [text] { return hpk::ParseJson(text->c_str()).IsOk(); };
    } else if (name == "json/rapidjson") {
        step = [text] {
            rapidjson::Document document;
            document.Parse(text->c_str());
            return !document.HasParseError();
        };
    } else if (name == "msgpack/ours") {
        step = [bytes, text] {
            const hpk::MessagePackReadResult read = hpk::ReadMessagePack(bytes, text->size());
            return read.result.IsOk() && read.consumed == text->size();
        };
    } else if (name == "json/rapidjson-interned" || name == "json/rapidjson-walked") {
        const bool intern = name == "json/rapidjson-interned";
        step = [text, intern] { return hpk::bench::RapidJsonInterned(text->c_str(), intern); };
    } else if (name == "msgpack/msgpack-cxx-interned" || name == "msgpack/msgpack-cxx-walked") {
        const bool intern = name == "msgpack/msgpack-cxx-interned";
        step = [text, intern] { return hpk::bench::MsgpackCxxInterned(text->data(), text->size(), intern); };
    } else if (name == "msgpack/msgpack-cxx") {
        step = [text] {
            const msgpack::object_handle handle = msgpack::unpack(text->data(), text->size());
            return handle.get().type != msgpack::type::NIL;
        };
    } else if (name == "yaml/ours") {
        step = [text] { return hpk::ParseYaml(text->c_str(), text->size()).IsOk(); };
    } else if (name == "yaml/libyaml-events") {
        step = [text] { return hpk::bench::LibyamlEventLoop(text->data(), text->size()); };
    } else if (name == "yaml/libyaml-interned") {
        step = [text] { return hpk::bench::LibyamlInterned(text->data(), text->size()); };
    } else if (name == "yaml/yaml-cpp") {
        step = [text] { return YAML::Load(*text).IsDefined(); };
    } else if (name == "record/ours" || name == "record/nlohmann") {
        const bool ours = name == "record/ours";
        if (path.find("platform-config") != std::string::npos) {
            step = ours ? OursIntoRecord<PlatformConfig>(text) : NlohmannIntoRecord<PlatformConfig>(text);
        } else if (path.find("champion-games") != std::string::npos) {
            step = ours ? OursIntoRecord<ChampionGamesCollection>(text)
                        : NlohmannIntoRecord<ChampionGamesCollection>(text);
        } else {
            Fail("no record for", path);
        }
    } else if (name == "plugin/get") {
        run = new PluginRun;
        step = [run] { return run->Get(); };
    } else if (name == "plugin/update") {
        run = new PluginRun;
        step = [run] { return run->Update(); };
    } else if (name == "plugin/load") {
        ServeEveryInput(loadHost);
        step = LoadAndInit(loadHost);
    } else {
        Fail("unknown case", name);
    }

    if (!step()) Fail("the warm-up iteration failed", name + " " + path);
    const int failures = HpkMeasured(&step, iterations);
    delete run;
    if (failures != 0) Fail("measured iterations failed", name + " " + path);
    return 0;
}
