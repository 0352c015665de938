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

// Where an input stands, in words for the why lines.
struct InputNotes {
    bool watched = false;
    std::string watchedAt;  // "start-up", "step 3": where it was last asked for
    std::string held;       // how the value held now arrived ("updated at step 5"); "" none yet
    std::string latest;     // the latest thing that changed nothing ("GET at step 3 answered 404")
};

// A telemetry value the model expects: an exact text, or a number of
// milliseconds within a window the clock readings allow.
struct TelemetryExpectation {
    bool exact = true;
    std::string text;
    long long low = 0;
    long long high = 0;
    std::string reason;  // its derivation
};

// The feature's state as the model derives it.
struct FeatureState {
    bool loggedIn = false;
    bool loginSeen = false;       // a transition to logged in happened: the login time is a window
    std::int64_t loginLow = 0;    // ticks; both 0 before the first login
    std::int64_t loginHigh = 0;
    bool playerDataRequested = false;
    std::string playerDataAt;     // where it was requested
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
    std::string localeAt;  // "" never published
    std::string localeReason;
    std::vector<std::vector<std::string>> filters{{}};
    std::string filtersAt;  // "" never published
    std::vector<std::string> filterReasons;

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
    struct Frame {
        const std::vector<ObservedCall>* calls;
        std::size_t next;
        std::string context;  // what the plugin was handling, for messages
    };
    enum class Handler : std::uint8_t { Login, Config, Region, Ready, Geo, Settings, Games, Summoner };
    struct FetchOutcome {
        bool ok = false;
        BindingValue value;
    };

    void Disagree(const std::string& what);
    std::string Where() const;
    std::string Describe(const ObservedCall& call) const;

    // The plugin's calls, matched in order against the model's.
    void RunFrame(const ObservedCall& call, std::string context);
    const ObservedCall* PeekCall();
    const ObservedCall* ExpectRequest(const std::string& method, const std::string& url);
    // The two posts of a publication, the data one of `candidates`; `chosen`
    // is set to the one the plugin posted (the count of candidates if none).
    void ExpectPublication(const std::string& uri, const std::vector<BindingValue>& candidates,
                           const std::string& derivation, std::size_t& chosen);
    void ExpectTelemetry();
    void Deliver(const ObservedCall& delivery);

    // The feature, step by step as its contract says.
    void Initialize();
    void Watch(const std::string& uri, Handler handler, ModelInput input);
    FetchOutcome Fetch(const std::string& uri, InputNotes& notes);
    void Handle(Handler handler, std::int32_t eventType, const BindingValue& data, const std::string& how,
                bool fetched);
    void OnLogin(const ModelLoginSession& session);
    void OnConfig(const ModelPlatformConfig& config);
    void OnSettings(const BindingValue& data);
    void OnGames(const ModelGames& games, const std::string& how);
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
    std::vector<std::string> stepDisagreements_;
};

// The step's name in words: "start-up" for 0, else "step N".
std::string StepLabel(std::size_t step);

}  // namespace hpk::host
