// The render loop through the built bundles: the static curve on a loud sine, the side-chain
// and side-MIDI detectors, bypass, and an impulse delayed by exactly the reported latency.
// Every test uses the bundles' default layout (stereo main, side-chain and out), which is also
// the only layout of the LV2 bundle.

#include "HostTestSupport.h"
#include "StateChunkEdit.h"

#include <cmath>
#include <functional>
#include <vector>

namespace brisalto::host::test
{
    namespace
    {

        using Signal = std::vector<float>;

        constexpr double rate = 48000.0;
        constexpr int blockSize = 512;

        Signal sine (int length, float amplitude, double frequency = 1000.0)
        {
            Signal s ((size_t) length);
            for (int i = 0; i < length; ++i)
                s[(size_t) i] = amplitude * (float) std::sin (2.0 * juce::MathConstants<double>::pi * frequency * i / rate);
            return s;
        }

        float peakDb (const Signal& s, int from, int to)
        {
            float peak = 0.0f;
            for (int i = from; i < to; ++i)
                peak = std::max (peak, std::abs (s[(size_t) i]));
            return 20.0f * std::log10 (std::max (peak, 1.0e-9f));
        }

        // Threshold -30 dB, ratio 4: (L - T)(1 - 1/R) dB less above the threshold.
        float staticCurveOutputDb (float amplitude)
        {
            const float level = 20.0f * std::log10 (amplitude);
            return level > -30.0f ? level - (level + 30.0f) * 0.75f : level;
        }

        struct Rendered
        {
            std::vector<Signal> outputs;
        };

        // Runs main inputs (per main channel, missing ones silent) and side-chain inputs through the
        // plug-in in blocks whose sizes cycle through `sizes`.
        Rendered render (juce::AudioPluginInstance& plugin, const std::vector<Signal>& mains, const std::vector<Signal>& sides,
                         const std::vector<int>& sizes, bool bypassed = false,
                         std::function<void (int, juce::MidiBuffer&)> midiForBlock = {})
        {
            const int length = (int) mains[0].size();
            const int outs = plugin.getTotalNumOutputChannels();
            const int channels = juce::jmax (plugin.getTotalNumInputChannels(), outs);
            const int sideStart = plugin.getChannelIndexInProcessBlockBuffer (true, 1, 0);

            // A format whose bypass is a control (LV2's "enabled" port) bypasses through it.
            if (auto* bypass = plugin.getBypassParameter())
                setParameterAsHost (*bypass, bypassed ? 1.0f : 0.0f);

            Rendered r;
            r.outputs.assign ((size_t) outs, Signal ((size_t) length, 0.0f));
            juce::AudioBuffer<float> buffer (channels, blockSize);
            juce::MidiBuffer midi;

            int position = 0;
            for (int block = 0; position < length; ++block)
            {
                const int n = juce::jmin (sizes[(size_t) block % sizes.size()], length - position);
                buffer.setSize (channels, n, false, false, true);
                buffer.clear();
                for (size_t ch = 0; ch < mains.size(); ++ch)
                    buffer.copyFrom ((int) ch, 0, mains[ch].data() + position, n);
                for (size_t ch = 0; ch < sides.size(); ++ch)
                    buffer.copyFrom (sideStart + (int) ch, 0, sides[ch].data() + position, n);

                midi.clear();
                if (midiForBlock)
                    midiForBlock (block, midi);

                if (bypassed)
                    plugin.processBlockBypassed (buffer, midi);
                else
                    plugin.processBlock (buffer, midi);

                for (int ch = 0; ch < outs; ++ch)
                    std::copy (buffer.getReadPointer (ch), buffer.getReadPointer (ch) + n,
                               r.outputs[(size_t) ch].begin() + position);
                position += n;
            }
            return r;
        }

        void setStaticCurve (juce::AudioPluginInstance& plugin)
        {
            setByName (plugin, "Threshold", 0.4f);
            setByName (plugin, "Ratio", 0.35f);
            setByName (plugin, "Attack", 0.0f);
            setByName (plugin, "Release", 1.0f);
        }

        class RenderLoopHostTest : public EachFormat
        {
        protected:
            std::unique_ptr<juce::AudioPluginInstance> preparedPlugin()
            {
                auto plugin = loadFresh (format(), rate, blockSize);
                if (plugin != nullptr)
                    prepare (*plugin, rate, blockSize);
                return plugin;
            }
        };

        TEST_P (RenderLoopHostTest, LoudSineIsCompressedByTheStaticCurve)
        {
            auto plugin = preparedPlugin();
            ASSERT_NE (plugin, nullptr);
            setStaticCurve (*plugin);

            // Sum mode (the default): equal channels detect as one.
            const int length = (int) rate;
            const auto loud = sine (length, 0.5f);
            const int mains = plugin->getMainBusNumInputChannels();
            ASSERT_GE (mains, 2);
            auto r = render (*plugin, std::vector<Signal> ((size_t) mains, loud), {}, { blockSize });
            EXPECT_NEAR (peakDb (r.outputs[0], length / 2, length), staticCurveOutputDb (0.5f), 0.3f);
            EXPECT_NEAR (peakDb (r.outputs[(size_t) mains - 1], length / 2, length), staticCurveOutputDb (0.5f), 0.3f);

            // Multi-mono: each channel by its own level.
            setStateDigits (*plugin, { { "mixMode", 1 } });
            setStaticCurve (*plugin);
            r = render (*plugin, { loud, sine (length, 0.01f) }, {}, { blockSize });
            EXPECT_NEAR (peakDb (r.outputs[0], length / 2, length), staticCurveOutputDb (0.5f), 0.3f);
            EXPECT_NEAR (peakDb (r.outputs[1], length / 2, length), 20.0f * std::log10 (0.01f), 0.05f);
            plugin->releaseResources();
        }

        TEST_P (RenderLoopHostTest, SideChainDrivesTheGainInSideMode)
        {
            auto plugin = preparedPlugin();
            ASSERT_NE (plugin, nullptr);
            setStateDigits (*plugin, { { "mixMode", 3 } });
            setStaticCurve (*plugin);

            const int length = (int) rate;
            const auto quiet = sine (length, 0.01f);
            const auto r = render (*plugin, { quiet, quiet }, { sine (length, 0.5f, 300.0) }, { blockSize });

            const float reduction = 20.0f * std::log10 (0.5f) - staticCurveOutputDb (0.5f);
            EXPECT_NEAR (peakDb (r.outputs[0], length / 2, length), 20.0f * std::log10 (0.01f) - reduction, 0.3f);
            EXPECT_NEAR (peakDb (r.outputs[1], length / 2, length), 20.0f * std::log10 (0.01f) - reduction, 0.3f);
            plugin->releaseResources();
        }

        TEST_P (RenderLoopHostTest, NoteOnVelocityDrivesTheGainInSideMidiMode)
        {
            auto plugin = preparedPlugin();
            ASSERT_NE (plugin, nullptr);
            setStateDigits (*plugin, { { "mixMode", 6 }, { "midi_receive_from_DAW", 1 } });
            setStaticCurve (*plugin);

            const int length = 16 * blockSize;
            const auto in = sine (length, 0.25f);
            const auto r = render (*plugin, { in }, {}, { blockSize }, false,
                                   [] (int block, juce::MidiBuffer& midi)
                                   {
                                       if (block == 8)
                                           midi.addEvent (juce::MidiMessage::noteOn (1, 64, (juce::uint8) 127), 0);
                                   });

            // Before the note: untouched. After it: velocity 127 is a 0 dB detector sample, 30 dB over
            // the threshold at ratio 4, so 22.5 dB less at once, released over 4 seconds.
            EXPECT_NEAR (peakDb (r.outputs[0], 4 * blockSize, 8 * blockSize), 20.0f * std::log10 (0.25f), 0.01f);
            EXPECT_NEAR (peakDb (r.outputs[0], 8 * blockSize + 8, 9 * blockSize), 20.0f * std::log10 (0.25f) - 22.5f, 0.3f);
            plugin->releaseResources();
        }

        TEST_P (RenderLoopHostTest, BypassPassesTheAudio)
        {
            auto plugin = preparedPlugin();
            ASSERT_NE (plugin, nullptr);
            setStaticCurve (*plugin);

            const int length = 8 * blockSize;
            const auto loud = sine (length, 0.9f);
            render (*plugin, { loud }, {}, { blockSize }, true);  // the host's bypass settles
            const auto r = render (*plugin, { loud, loud }, {}, { blockSize, 100 }, true);
            for (int i = 0; i < length; ++i)
                ASSERT_NEAR (r.outputs[0][(size_t) i], loud[(size_t) i], 1.0e-6f) << i;
            plugin->releaseResources();
        }

        TEST_P (RenderLoopHostTest, ImpulseDelayEqualsTheReportedLatency)
        {
            for (const bool bypassed : { false, true })
            {
                for (const auto& sizes : { std::vector<int> { blockSize }, std::vector<int> { 512, 100, 412, 1, 33, 479, 300 } })
                {
                    auto plugin = preparedPlugin();
                    ASSERT_NE (plugin, nullptr);
                    // Processed: no gain change. Bypassed: a curve that would change the impulse if
                    // the block were processed after all.
                    setByName (*plugin, "Threshold", bypassed ? 0.4f : 1.0f);
                    setByName (*plugin, "Ratio", bypassed ? 0.35f : 0.05f);
                    setByName (*plugin, "Attack", 0.0f);
                    setByName (*plugin, "Adaptive_Relative_Gain", 0.0f);
                    setByName (*plugin, "Lookahead", 0.1f);
                    setByName (*plugin, "Adpative_Thresh_On", 1.0f);
                    setByName (*plugin, "HardLimiterOn", 1.0f);
                    render (*plugin, { Signal (4 * blockSize, 0.0f) }, {}, { blockSize }, bypassed);

                    const int latency = settledLatency (*plugin, 9 * blockSize + 100);
                    ASSERT_EQ (latency, 9 * blockSize + 100);

                    const int at = 1234, length = at + latency + 3000;
                    Signal in ((size_t) length, 0.0f);
                    in[(size_t) at] = 0.5f;
                    const auto r = render (*plugin, { in }, {}, sizes, bypassed);

                    int first = -1;
                    for (int i = 0; i < length && first < 0; ++i)
                        if (std::abs (r.outputs[0][(size_t) i]) > 1.0e-6f)
                            first = i;
                    EXPECT_EQ (first, at + latency) << (bypassed ? "bypassed, " : "processed, ") << sizes.size() << " sizes";
                    EXPECT_NEAR (r.outputs[0][(size_t) (at + latency)], 0.5f, 1.0e-5f);
                    plugin->releaseResources();
                }
            }
        }

        BRISALTO_FOR_EACH_FORMAT (RenderLoopHostTest);

    }  // namespace
}  // namespace brisalto::host::test
