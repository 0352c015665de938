// The host's model of the content targeting feature, written from its
// contract and never from the plugin's code, so that the two can catch each
// other. It reads the session as the host saw it (each call into the plugin,
// the events delivered, what the host answered to the plugin's requests, the
// clock) and derives what the plugin must have done: its requests and posts
// in order, its telemetry, the filters and locale it serves. Where the plugin
// did otherwise, it records the first disagreement with its step.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "model/filter_rules.h"
#include "model/model_records.h"
#include "model/session_observer.h"

namespace hpk::host {

// The resources the feature follows.
enum class ModelInput : std::uint8_t {
    Login = 0,
    Config = 1,
    Region = 2,
    Ready = 3,
    Geo = 4,
    Settings = 5,
    Games = 6,
    Summoner = 7,
    Count = 8,
};

// One thing that happened to an input, kept as facts; the why lines put it
// into words (and only they: exploring never needs the words).
struct InputEvent {
    enum class What : std::uint8_t {
        None = 0,
        Fetched = 1,        // a value taken: from a watch's fetch,
        Updated = 2,        // from an update,
        Deleted = 3,        // from a delete
        NotServed = 4,      // a fetch the host answered 404 for want of a resource
        Refused = 5,        // a fetch answered with an error (detail: status and text)
        StreamFailed = 6,   // a streamed answer whose read failed (detail: the read)
        NotJson = 7,        // a streamed answer that is not JSON (detail: the reader's message)
        NotAsked = 8,       // a fetch the plugin did not make
        Dropped = 9,        // a value that does not fit its record (detail: why)
        LookupFailed = 10,  // a location lookup with success false
        DeleteIgnored = 11,
        GamesIgnored = 12,  // a collection after the first
        LevelZero = 13,     // level 0 taken (`removed`: by a delete)
    };
    What what = What::None;
    std::size_t step = 0;
    bool fetched = false;  // came with a fetch, not an update
    bool removed = false;  // came with a delete
    std::string detail;
};

// Where an input stands.
struct InputNotes {
    bool watched = false;
    std::size_t watchedStep = 0;  // where it was last asked for
    InputEvent held;              // how the value held now arrived; None while none has
    InputEvent latest;            // the latest thing that changed nothing since
};

// A telemetry value the model expects: an exact text, or a number of
// milliseconds within a window the clock readings allow.
struct TelemetryExpectation {
    bool exact = true;
    std::string text;
    long long low = 0;
    long long high = 0;
    bool afterLogin = false;  // measured from a login, not from 1970
};

// The derivation of a telemetry value, in words.
std::string TelemetryReason(const std::string& name, const TelemetryExpectation& expected);

// The feature's state as the model derives it.
struct FeatureState {
    bool loggedIn = false;
    bool loginSeen = false;     // a transition to logged in happened: the login time is a window
    std::int64_t loginLow = 0;  // ticks; both 0 before the first login
    std::int64_t loginHigh = 0;
    bool playerDataRequested = false;
    std::size_t playerDataStep = 0;  // where it was requested
    bool gamesReceived = false;
    bool filtersReported = false;
    bool configHeld = false;
    ModelPlatformConfig config;
    BindingValue mapping;  // the parsed Mapping; empty while none parsed
    std::string regionLocale;
    bool readyTrue = false;
    ModelGeoInfo geo;
    std::uint32_t level = 0;
    std::string selectedLanguage;
    ModelGames games;

    // What is served: the locale, and the filters (two candidates while the
    // revival rule was undecided and nothing has shown which the plugin took).
    std::string locale;
    bool localePublished = false;
    std::size_t localeStep = 0;  // where it was published last
    std::string localeReason;
    std::vector<std::vector<std::string>> filters{{}};
    bool filtersPublished = false;
    std::size_t filtersStep = 0;
    FilterInputs filtersFrom;  // what the served filters were computed from

    std::map<std::string, TelemetryExpectation> telemetry;
    std::array<InputNotes, static_cast<std::size_t>(ModelInput::Count)> notes;

    const InputNotes& Notes(ModelInput input) const { return notes[static_cast<std::size_t>(input)]; }
    InputNotes& Notes(ModelInput input) { return notes[static_cast<std::size_t>(input)]; }
};

class FeatureModel : public ObservedCallReader {
public:
    // The step the next calls belong to; 0 for start-up (load and init).
    void BeginStep(std::size_t number);
    void Observed(const ObservedCall& call) override;

    // Compares what the plugin serves after a step, as compact JSON text,
    // with what the model expects. Either may be null (not fetched).
    void CompareServed(const std::string* filtersJson, const std::string* localeJson);

    // The first disagreement of the session, "" while there is none.
    const std::string& Disagreement() const { return disagreement_; }
    // The disagreements found in the current step (after the first, the model
    // follows the plugin as best it can and reports no more).
    const std::vector<std::string>& StepDisagreements() const { return stepDisagreements_; }

    const FeatureState& State() const { return state_; }
    // The clock window of the last call into the plugin.
    std::int64_t ClockLow() const { return clockLow_; }
    std::int64_t ClockHigh() const { return clockHigh_; }

private:
    // A call into the plugin whose calls out are being matched.
    struct Frame {
        const std::vector<ObservedCall>* calls;
        std::size_t next;
        const ObservedCall* call;  // what the plugin handles; null: the step's end
    };
    enum class Handler : std::uint8_t { Login, Config, Region, Ready, Geo, Settings, Games, Summoner };
    struct FetchOutcome {
        bool ok = false;
        BindingValue value;
    };

    void Disagree(const std::string& what);
    std::string Context(const Frame& frame) const;
    std::string Describe(const ObservedCall& call) const;

    // The plugin's calls, matched in order against the model's.
    void RunFrame(const ObservedCall& call);
    const ObservedCall* PeekCall();
    const ObservedCall* ExpectRequest(const std::string& method, const std::string& url);
    // The two posts of a publication, the data one of `candidates`; `chosen`
    // is set to the one the plugin posted (the count of candidates if none).
    // `derivation` gives the model's reasons, for a message.
    void ExpectPublication(const std::string& uri, const std::vector<BindingValue>& candidates,
                           const std::function<std::string()>& derivation, std::size_t& chosen);
    void ExpectTelemetry();
    void Deliver(const ObservedCall& delivery);

    // The feature, step by step as its contract says.
    void Initialize();
    void Watch(const std::string& uri, Handler handler, ModelInput input);
    FetchOutcome Fetch(const std::string& uri, InputNotes& notes);
    void Handle(Handler handler, std::int32_t eventType, const BindingValue& data, bool fetched);
    void OnLogin(const ModelLoginSession& session);
    void OnConfig(const ModelPlatformConfig& config);
    void OnSettings(const BindingValue& data);
    void OnGames(const ModelGames& games, bool fetched);
    void RequestPlayerData();
    void ComputeLocale();
    void ComputeFilters();
    void AddTelemetry(const std::string& name);

    FeatureState state_;
    std::map<std::string, Handler> listeners_;  // exact URI -> handler
    std::vector<std::string> subscribed_;       // event names
    std::vector<Frame> frames_;
    std::size_t step_ = 0;
    std::int64_t clockLow_ = 0;
    std::int64_t clockHigh_ = 0;
    bool diverged_ = false;
    std::string disagreement_;
    // What the served values read as compact JSON, kept until they change.
    std::vector<std::string> filtersJson_;
    std::string localeJson_;
    std::vector<std::string> stepDisagreements_;
};

// The step's name in words: "start-up" for 0, else "step N".
std::string StepLabel(std::size_t step);

}  // namespace hpk::host
