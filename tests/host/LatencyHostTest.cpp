// The latency a host reads: the look-ahead in whole blocks while the adaptive threshold is on,
// plus the hard limiter's 100 samples, following the rate and block size the host prepares.

#include "HostTestSupport.h"

namespace brisalto::host::test
{
namespace
{

class LatencyHostTest : public EachFormat {};

TEST_P (LatencyHostTest, FollowsParameterChanges)
{
    auto plugin = loadFresh (format(), 48000.0, 1024);
    ASSERT_NE (plugin, nullptr);
    prepare (*plugin, 48000.0, 1024);
    processBlocks (*plugin, 1);
    EXPECT_EQ (settledLatency (*plugin, 0), 0);

    // Look-ahead alone adds nothing while the adaptive threshold is off.
    setByName (*plugin, "Lookahead", 0.5f);
    processBlocks (*plugin, 2);
    EXPECT_EQ (settledLatency (*plugin, 0), 0);
    setByName (*plugin, "Lookahead", 0.34f);
    processBlocks (*plugin, 2);

    // 340 ms at 48000 Hz in blocks of 1024 (21.33 ms): 15 blocks.
    setByName (*plugin, "Adpative_Thresh_On", 1.0f);
    processBlocks (*plugin, 2);
    EXPECT_EQ (settledLatency (*plugin, 15 * 1024), 15 * 1024);

    setByName (*plugin, "HardLimiterOn", 1.0f);
    processBlocks (*plugin, 2);
    EXPECT_EQ (settledLatency (*plugin, 15 * 1024 + 100), 15 * 1024 + 100);

    // 10 ms is less than one block but still a whole block.
    setByName (*plugin, "Lookahead", 0.01f);
    processBlocks (*plugin, 2);
    EXPECT_EQ (settledLatency (*plugin, 1024 + 100), 1024 + 100);

    setByName (*plugin, "Adpative_Thresh_On", 0.0f);
    processBlocks (*plugin, 2);
    EXPECT_EQ (settledLatency (*plugin, 100), 100);

    setByName (*plugin, "HardLimiterOn", 0.0f);
    processBlocks (*plugin, 2);
    EXPECT_EQ (settledLatency (*plugin, 0), 0);
    plugin->releaseResources();
}

TEST_P (LatencyHostTest, FollowsTheRateAndBlockSizeOfPrepareToPlay)
{
    auto plugin = loadFresh (format(), 48000.0, 1024);
    ASSERT_NE (plugin, nullptr);
    prepare (*plugin, 48000.0, 1024);
    setByName (*plugin, "Adpative_Thresh_On", 1.0f);
    processBlocks (*plugin, 2);
    ASSERT_EQ (settledLatency (*plugin, 15 * 1024), 15 * 1024);

    struct Case { double rate; int block; int blocks; };
    // blocks = (int) (340 / (block * 1000 / rate))
    for (const auto& c : { Case { 44100.0, 512, 29 },     // 11.61 ms blocks: 29.28
                           Case { 96000.0, 256, 127 },    // 2.67 ms blocks: 127.5
                           Case { 48000.0, 4096, 3 },     // 85.33 ms blocks: 3.98
                           Case { 48000.0, 1024, 15 } })
    {
        prepare (*plugin, c.rate, c.block);
        processBlocks (*plugin, 2);
        EXPECT_EQ (settledLatency (*plugin, c.blocks * c.block), c.blocks * c.block)
            << c.rate << " Hz, " << c.block << " samples";
    }
    plugin->releaseResources();
}

BRISALTO_FOR_EACH_FORMAT (LatencyHostTest);

} // namespace
} // namespace brisalto::host::test
