// FakePlugin: hooks run from the script a test installed.
#include "support/fake_plugin.h"

namespace hpk {

FakePlugin::Script& FakePlugin::CurrentScript() {
    static Script script;
    return script;
}

FakePlugin::~FakePlugin() {
    if (CurrentScript().destroyed != nullptr) *CurrentScript().destroyed = true;
}

void FakePlugin::RegisterApi() {
    if (CurrentScript().registerApi) CurrentScript().registerApi(*this);
}

bool FakePlugin::Initialize() {
    if (CurrentScript().initialize) return CurrentScript().initialize(*this);
    return true;
}

std::unique_ptr<PluginBase> MakeFakePlugin() { return std::make_unique<FakePlugin>(); }

}  // namespace hpk
