// The model beside one plugin session: it listens to the host's core from
// before init and reads each call into the plugin as it ends. Create it before
// init, bracket init with BeginInit/EndInit, and name each step as it begins.
#pragma once
#include <cstddef>

#include "host/host_core.h"
#include "model/feature_model.h"
#include "model/session_observer.h"

namespace hpk::host {

// The model a space file names under `model:` for this plugin.
inline constexpr char kContentTargetingModel[] = "content-targeting";

class ModelSession {
public:
    explicit ModelSession(HostCore& core) : observer_(core, model_) {}
    ModelSession(const ModelSession&) = delete;
    ModelSession& operator=(const ModelSession&) = delete;

    void BeginInit() {
        model_.BeginStep(0);
        observer_.BeginInit();
    }
    void EndInit() { observer_.EndInit(); }
    void BeginStep(std::size_t number) { model_.BeginStep(number); }

    FeatureModel& Model() { return model_; }
    const FeatureModel& Model() const { return model_; }

private:
    FeatureModel model_;  // first: the observer hands it what it sees
    SessionObserver observer_;
};

}  // namespace hpk::host
