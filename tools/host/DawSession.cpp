#include "DawSession.h"

#include <chrono>
#include <cmath>

namespace brisalto::host
{

    // A transport that plays from zero, advanced by the audio thread before each block.
    struct DawSession::TransportPlayHead final : juce::AudioPlayHead
    {
        explicit TransportPlayHead (double rate)
            : sampleRate (rate)
        {
        }

        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setIsPlaying (true);
            info.setTimeInSamples (samples);
            info.setTimeInSeconds ((double) samples / sampleRate);
            info.setBpm (120.0);
            info.setTimeSignature (TimeSignature {});
            info.setPpqPosition ((double) samples / sampleRate * 2.0);
            return info;
        }

        double sampleRate;
        juce::int64 samples = 0;  // audio thread only
    };

    DawSession::DawSession (juce::AudioPluginInstance& instanceIn, double rate, int block, Source sourceIn, Tap tapIn)
        : instance (instanceIn)
        , sampleRate (rate)
        , blockSize (juce::jmax (1, block))
        , source (std::move (sourceIn))
        , tap (std::move (tapIn))
        , playHead (std::make_unique<TransportPlayHead> (rate))
    {
    }

    DawSession::~DawSession()
    {
        stop();
    }

    void DawSession::start()
    {
        if (running.exchange (true))
            return;
        playHead->samples = 0;
        instance.setPlayHead (playHead.get());
        audioThread = std::thread ([this] { run(); });
    }

    void DawSession::stop()
    {
        if (! running.exchange (false))
            return;
        if (audioThread.joinable())
            audioThread.join();
        instance.setPlayHead (nullptr);
    }

    bool DawSession::waitForBlocks (PluginHost& host, int count, int timeoutMilliseconds)
    {
        const auto target = blocks.load() + count;
        return host.pumpUntil ([&] { return blocks.load() >= target; }, timeoutMilliseconds);
    }

    void DawSession::run()
    {
        using clock = std::chrono::steady_clock;
        const auto period =
            std::chrono::duration_cast<clock::duration> (std::chrono::duration<double> ((double) blockSize / sampleRate));

        const int ins = instance.getTotalNumInputChannels();
        const int outs = instance.getTotalNumOutputChannels();
        juce::AudioBuffer<float> buffer (juce::jmax (1, ins, outs), blockSize);
        juce::MidiBuffer midi;
        juce::int64 position = 0;
        auto due = clock::now();

        while (running.load())
        {
            buffer.clear();
            if (source)
                source (buffer, ins);
            else
                for (int channel = 0; channel < ins; ++channel)
                    for (int i = 0; i < blockSize; ++i)
                        buffer.setSample (channel, i, 0.1f * std::sin (0.05f * (float) (position + i)));
            midi.clear();

            {
                const juce::ScopedLock lock (instance.getCallbackLock());
                if (instance.isSuspended())
                    buffer.clear();
                else
                    instance.processBlock (buffer, midi);
            }

            for (int channel = 0; channel < outs; ++channel)
            {
                const auto* samples = buffer.getReadPointer (channel);
                for (int i = 0; i < blockSize; ++i)
                    if (! std::isfinite (samples[i]))
                        nonFinite = true;
            }
            if (tap)
                tap (buffer, outs);

            position += blockSize;
            playHead->samples = position;
            ++blocks;

            // Real-time pacing: the next block is due one period after this one was.
            due += period;
            const auto now = clock::now();
            if (now > due + period)
            {
                ++late;
                due = now;  // a drop-out: start counting again from here
            }
            std::this_thread::sleep_until (due);
        }
    }

}  // namespace brisalto::host
