// FakeHostFixture: a FakeHost, a FakePlugin script and a session, with the
// checks every runtime test wants at the end: the plugin shut down, every
// response released, every stream closed, the counting allocator balanced.
#pragma once
#include <gtest/gtest.h>

#include "support/fake_host.h"
#include "support/fake_plugin.h"

namespace hpk {

class FakeHostFixture : public ::testing::Test {
protected:
    // Loads the FakePlugin (18.0.0 core) and runs init; fails the test otherwise.
    void LoadAndInit() {
        ASSERT_TRUE(session.Load(&MakeFakePlugin));
        ASSERT_TRUE(session.Init());
    }
    PluginBase& Plugin() { return session.Plugin(); }

    void TearDown() override {
        if (session.IsLoaded()) session.Shutdown();
        // The host's records hold values from the counting allocator too.
        host.ClearRecords();
        host.ClearScripts();
        EXPECT_EQ(host.UnreleasedResponses(), 0);
        EXPECT_EQ(host.OpenStreams(), 0u);
        EXPECT_EQ(leaks.BlockDelta(), 0);
        EXPECT_EQ(leaks.ByteDelta(), 0);
    }

    LeakCheck leaks;  // first: snapshot before anything below allocates
    FakeHost host;
    FakePluginScript script;
    FakePluginSession session{host};
};

}  // namespace hpk
