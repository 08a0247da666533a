// The latency a host reads: the look-ahead in whole blocks while the adaptive threshold is on,
// plus the hard limiter's 100 samples, following the rate and block size the host prepares.

#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        class LatencyHostTest : public EachFormat
        {
        };

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

            struct Case
            {
                double rate;
                int block;
                int blocks;
            };
            // blocks = (int) (340 / (block * 1000 / rate))
            for (const auto& c : { Case { 44100.0, 512, 29 },   // 11.61 ms blocks: 29.28
                                   Case { 96000.0, 256, 127 },  // 2.67 ms blocks: 127.5
                                   Case { 48000.0, 4096, 3 },   // 85.33 ms blocks: 3.98
                                   Case { 48000.0, 1024, 15 } })
            {
                prepare (*plugin, c.rate, c.block);
                processBlocks (*plugin, 2);
                EXPECT_EQ (settledLatency (*plugin, c.blocks * c.block), c.blocks * c.block)
                    << c.rate << " Hz, " << c.block << " samples";
            }
            plugin->releaseResources();
        }

        // Rendered as fast as possible in blocks of varying size, as an export does: the host reads the
        // new latency by its next call after the block that brought the change (an LV2 host from the
        // latency port after that very block, a VST3 host when the plug-in's restart request arrives on
        // the message thread), and the impulse comes out exactly that late.
        TEST_P (LatencyHostTest, ImpulseComesOutAtTheReportedLatencyFromTheFirstBlock)
        {
            auto plugin = loadFresh (format(), 48000.0, 1024);
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 1024);
            ASSERT_EQ (settledLatency (*plugin, 0), 0);

            // Silence in, apart from one impulse in the first block after the change.
            const int channels = juce::jmax (1, plugin->getTotalNumInputChannels(), plugin->getTotalNumOutputChannels());
            const int sizes[] { 1024, 700, 1, 1024, 333, 64, 1024, 517 };
            constexpr int impulseAt = 100;
            std::vector<float> output;
            int firstBlockLatency = -1;

            setByName (*plugin, "Adpative_Thresh_On", 1.0f);
            for (int block = 0; block < 80; ++block)
            {
                const int n = sizes[block % 8];
                juce::AudioBuffer<float> buffer (channels, n);
                buffer.clear();
                if (block == 0)
                    buffer.setSample (0, impulseAt, 0.5f);
                juce::MidiBuffer midi;
                plugin->processBlock (buffer, midi);
                output.insert (output.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + n);
                if (block == 0)
                    firstBlockLatency = plugin->getLatencySamples();
            }

            const auto found = std::find_if (output.begin(), output.end(), [] (float x) { return std::abs (x) > 1.0e-3f; });
            ASSERT_NE (found, output.end());
            const auto impulseDelay = (int) std::distance (output.begin(), found) - impulseAt;
            EXPECT_EQ (impulseDelay, 15 * 1024);
            if (isLv2())
            {
                EXPECT_EQ (firstBlockLatency, impulseDelay) << "the latency port after the first block";
            }
            EXPECT_TRUE (sharedHost().pumpUntil ([&] { return plugin->getLatencySamples() == impulseDelay; }, 3000));
            EXPECT_EQ (plugin->getLatencySamples(), impulseDelay);
            plugin->releaseResources();
        }

        BRISALTO_FOR_EACH_FORMAT (LatencyHostTest);

    }  // namespace
}  // namespace brisalto::host::test
