// The Qt suites that reach NatNet (the panel, the viewer) point discovery at a loopback sink
// before their first test, so that no test sends discovery beyond this machine.

#include "LoopbackSink.h"

#include <gtest/gtest.h>

namespace {

class LoopbackDiscovery : public ::testing::Environment
{
public:
    void SetUp() override
    {
        // A fatal failure here skips every test and fails the run.
        ASSERT_TRUE(Quorvane::Support::keepDiscoveryOnLoopback())
            << "cannot point NatNet discovery at loopback; not running";
    }
};

// Registered before main, as GoogleTest allows for global environments; it owns the object.
::testing::Environment* const g_loopbackDiscovery =
    ::testing::AddGlobalTestEnvironment(new LoopbackDiscovery);

}  // namespace
