// FakePlugin: a PluginBase whose RegisterApi and Initialize run whatever the
// test installed, for driving the runtime without the feature. Load it with
// FakePluginSession::Load(&MakeFakePlugin).
#pragma once
#include <functional>
#include <memory>

#include "plugin/plugin_base.h"

namespace hpk {

class FakePlugin : public PluginBase {
public:
    // Installed by a test before loading; reset by FakePluginScript's destructor.
    struct Script {
        std::function<void(FakePlugin&)> registerApi;
        std::function<bool(FakePlugin&)> initialize;  // unset: true
        bool* destroyed = nullptr;                    // set to true by the destructor
    };
    static Script& CurrentScript();

    ~FakePlugin() override;
    void RegisterApi() override;
    bool Initialize() override;
};

std::unique_ptr<PluginBase> MakeFakePlugin();

// Installs a script for the duration of a test.
class FakePluginScript {
public:
    FakePluginScript() { FakePlugin::CurrentScript() = {}; }
    ~FakePluginScript() { FakePlugin::CurrentScript() = {}; }
    FakePlugin::Script& operator*() { return FakePlugin::CurrentScript(); }
    FakePlugin::Script* operator->() { return &FakePlugin::CurrentScript(); }
};

}  // namespace hpk
