#pragma once

#include "PluginHost.h"

#include <atomic>
#include <functional>
#include <thread>

namespace brisalto::host
{

    /** Runs a prepared instance the way a DAW does with no editor open: audio on a thread of its
    own, one block per block period in real time, with a play head whose transport runs, while
    the host's message thread (the caller's) stays free to run the message loop and to act as
    a user would: choose programs, save and restore state, automate.

    The caller keeps the message loop turning while it waits (PluginHost::pumpMessages,
    pumpUntil, waitForBlocks). Host calls from the caller's thread may overlap blocks, as in a
    DAW; the audio thread takes the instance's callback lock around each block, as JUCE's
    AudioProcessorPlayer does. */
    class DawSession
    {
    public:
        /** Fills the next block's input channels (audio thread). The default is a quiet tone. */
        using Source = std::function<void (juce::AudioBuffer<float>& buffer, int numInputChannels)>;
        /** Sees each block's output channels after processing (audio thread). */
        using Tap = std::function<void (const juce::AudioBuffer<float>& buffer, int numOutputChannels)>;

        DawSession (juce::AudioPluginInstance& instance, double sampleRate, int blockSize, Source source = {}, Tap tap = {});
        ~DawSession();

        void start();
        void stop();
        bool isRunning() const noexcept { return running.load(); }

        juce::int64 blocksRendered() const noexcept { return blocks.load(); }
        /** Blocks that started later than one block period after their time (the pacing fell behind). */
        juce::int64 lateBlocks() const noexcept { return late.load(); }
        bool sawNonFiniteOutput() const noexcept { return nonFinite.load(); }

        /** Runs the host's message loop until the audio thread has rendered `count` more blocks. */
        bool waitForBlocks (PluginHost& host, int count, int timeoutMilliseconds);

    private:
        struct TransportPlayHead;

        void run();

        juce::AudioPluginInstance& instance;
        const double sampleRate;
        const int blockSize;
        Source source;
        Tap tap;

        std::unique_ptr<TransportPlayHead> playHead;
        std::thread audioThread;
        std::atomic<bool> running { false };
        std::atomic<juce::int64> blocks { 0 };
        std::atomic<juce::int64> late { 0 };
        std::atomic<bool> nonFinite { false };

        JUCE_DECLARE_NON_COPYABLE (DawSession)
    };

}  // namespace brisalto::host
