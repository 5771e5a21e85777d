// Four processes exchange numbered messages over four virtual indexes at
// once: each receives every other's messages once, complete and in order.
#include "midi_test_util.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(VirtualPortSoak, FourProcessesExchangeWithoutLossOrDuplicates)
{
    const int processes = 4, firstIndex = 20, messages = 10000;
    miditest::NamedEvent go("go");
    std::vector<std::unique_ptr<miditest::NamedEvent>> ready;
    std::vector<std::unique_ptr<miditest::Peer>> peers;
    for (int p = 0; p < processes; ++p) {
        std::string others;
        for (int q = 0; q < processes; ++q)
            others += q == p ? "" : (others.empty() ? "" : ",") + std::to_string(firstIndex + q);
        ready.push_back(std::make_unique<miditest::NamedEvent>("ready"));
        peers.push_back(std::make_unique<miditest::Peer>("soak " + std::to_string(firstIndex + p) + " " + others + " " +
                                                         std::to_string(messages) + " " + ready[p]->name() + " " +
                                                         go.name()));
    }
    for (int p = 0; p < processes; ++p) // every listener is in place before anyone sends
        ASSERT_TRUE(ready[p]->WaitPumping());
    go.Set();
    for (int p = 0; p < processes; ++p)
        EXPECT_EQ(peers[p]->Finish(240000), 0) << "peer " << p;
}

} // namespace
