#include "run/OrderedCommits.h"

#include "acoustics/Microphone.h"
#include "support/UiFixture.h"

using OrderedCommitsTest = UiFixture;

// Pyramids 2 and 1 finish before 0: nothing is committed until 0 is offered, then all three in the order 0, 1, 2. The
// order shows in the direct wave (the first one committed is taken, later ones refused) and in the escapes counted.
TEST_F(OrderedCommitsTest, LogsFinishedOutOfTurnWaitForTheirTurn) {
    Microphone microphone;
    microphone.response.setDirectDelay(0.5);
    TraceStatistics statistics;
    OrderedCommits commits(statistics);
    BandEnergies energy{};
    energy.fill(1);
    const auto offer = [&](std::uint32_t k, double directTime) {
        PyramidLog log;
        log.arrival(microphone, 1, energy, 0, Vector(1, 0, 0), directTime);
        log.escaped(Line());
        commits.offer(k, log);
    };
    std::uint32_t committed = 9, escaped = 9, edges = 9;
    offer(2, 0.02);
    offer(1, 0.01);
    commits.progress(committed, escaped, edges);
    EXPECT_TRUE(committed == 0 && escaped == 0 && edges == 0 && !microphone.response.hasDirect);
    offer(0, 0.03);
    commits.progress(committed, escaped, edges);
    EXPECT_TRUE(committed == 3 && escaped == 3 && edges == 0);
    EXPECT_EQ(microphone.response.directDelay, 0.03);
    offer(3, 0.04);
    commits.progress(committed, escaped, edges);
    EXPECT_EQ(committed, 4u);
}
