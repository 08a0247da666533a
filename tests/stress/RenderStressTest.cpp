// One thread renders while others automate parameters, restore state and switch modes.
// Built with ThreadSanitizer this must run without a report; in any build, without a crash.

#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace
{
    using Clock = std::chrono::steady_clock;

    bool configure (BrisaltoAudioProcessor& p, int mainIns, int outs, int sideIns, int blockSize)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (mainIns));
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (sideIns));
        layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (outs));
        if (! p.setBusesLayout (layout))
            return false;
        p.prepareToPlay (48000.0, blockSize);
        return true;
    }

    void runStress (int mainIns, int outs, int sideIns, std::chrono::milliseconds duration)
    {
        ScopedXdgFolders folders;
        BrisaltoAudioProcessor p;
        ASSERT_TRUE (configure (p, mainIns, outs, sideIns, 256));

        juce::MemoryBlock savedState;
        p.getStateInformation (savedState);

        std::atomic<bool> running { true };
        std::atomic<long> blocksRendered { 0 };
        std::atomic<bool> finiteOutput { true };

        std::thread render (
            [&]
            {
                std::mt19937 random (1);
                const int channels = std::max (p.getTotalNumInputChannels(), p.getTotalNumOutputChannels());
                juce::AudioBuffer<float> buffer (channels, 1024);
                juce::MidiBuffer midi;
                const int sizes[] = { 256, 256, 100, 1, 512, 0, 256, 1024, 37 };
                long phase = 0;
                for (int block = 0; running; ++block)
                {
                    const int n = sizes[block % 9];
                    buffer.setSize (channels, n, false, false, true);
                    for (int ch = 0; ch < channels; ++ch)
                        for (int i = 0; i < n; ++i)
                            buffer.setSample (ch, i, 0.8f * std::sin (0.03f * (float) (phase + i) * (float) (ch + 1)));
                    phase += n;

                    midi.clear();
                    if (block % 5 == 0)
                        midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) (1 + block % 127)), 0);

                    if (block % 17 == 16)
                        p.processBlockBypassed (buffer, midi);
                    else
                        p.processBlock (buffer, midi);

                    for (int ch = 0; ch < p.getTotalNumOutputChannels(); ++ch)
                        for (int i = 0; i < n; ++i)
                            if (! std::isfinite (buffer.getSample (ch, i)))
                                finiteOutput = false;
                    ++blocksRendered;
                }
            });

        // Host automation: every parameter, any value.
        std::thread automation (
            [&]
            {
                std::mt19937 random (2);
                std::uniform_int_distribution<int> index (0, NUM_PARAMETERS - 1);
                std::uniform_real_distribution<float> value (0.0f, 1.0f);
                while (running)
                {
                    const int i = index (random);
                    if (i == Lookahead || i == Adpative_Thresh_On || i == HardLimiterOn)
                        continue;  // latency changes come from the message thread below
                    p.setParameter (i, value (random));
                }
            });

        // The message thread: state restores and the settings that change the latency.
        std::thread message (
            [&]
            {
                std::mt19937 random (3);
                std::uniform_real_distribution<float> value (0.0f, 1.0f);
                for (int round = 0; running; ++round)
                {
                    if (round % 4 == 0)
                        p.setStateInformation (savedState.getData(), (int) savedState.getSize());
                    p.setParameter (Lookahead, value (random));
                    p.setParameter (Adpative_Thresh_On, value (random));
                    p.setParameter (HardLimiterOn, value (random));
                    std::this_thread::sleep_for (std::chrono::microseconds (200));
                }
            });

        // The editor: mix mode, track, group, weights and MIDI settings.
        std::thread editor (
            [&]
            {
                std::mt19937 random (4);
                for (int round = 0; running; ++round)
                {
                    p.mixMode = (int32_t) (random() % 8);
                    p.trackNumber = (int32_t) (random() % 12) - 2;
                    p.channel_weights[random() % MAX_CHANNELS] = (float) (random() % 3) * 0.5f;
                    p.midi_receive_from_DAW = (int32_t) (random() % 2);
                    p.midiSideChan = (int32_t) (random() % 17) - 1;
                    (void) p.mGainReduction.load();
                    (void) p.mInputChannelLevels[0].load();
                    std::this_thread::sleep_for (std::chrono::microseconds (50));
                }
            });

        // At least the given time and at least a few hundred blocks, however slow the machine
        // (sanitizers, other load): the check below counts blocks, never time.
        const auto start = Clock::now();
        while (Clock::now() - start < duration || blocksRendered.load() <= 200)
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        running = false;
        render.join();
        automation.join();
        message.join();
        editor.join();

        EXPECT_GT (blocksRendered.load(), 200);
        EXPECT_TRUE (finiteOutput.load());
    }
}

TEST (RenderStress, StereoWithSideChain)
{
    runStress (2, 2, 2, std::chrono::milliseconds (3000));
}

TEST (RenderStress, MonoInStereoOut)
{
    runStress (1, 2, 1, std::chrono::milliseconds (2000));
}
