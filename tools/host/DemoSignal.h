#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace brisalto::host
{

    /** Peak and RMS of a signal in dBFS (silence reads as -144 dBFS). */
    struct SignalLevel
    {
        double peakDb = -144.0;
        double rmsDb = -144.0;
    };

    /** Accumulates the level of every sample it is shown, across channels. */
    class LevelMeter
    {
    public:
        void add (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
        SignalLevel level() const noexcept;
        bool sawNonFinite() const noexcept { return nonFinite; }

    private:
        double peak = 0.0;
        double sumOfSquares = 0.0;
        juce::int64 count = 0;
        bool nonFinite = false;
    };

    double gainToDbfs (double gain) noexcept;

    /** A loud stereo test signal: a 220 Hz tone near full scale with bursts of noise twice a
    second and a quiet passage at the start, the same every time. */
    class DemoSignalGenerator
    {
    public:
        explicit DemoSignalGenerator (double sampleRate);

        /** Writes the next numSamples samples into the first numChannels channels of the buffer. */
        void render (juce::AudioBuffer<float>& buffer, int numChannels, int numSamples);

    private:
        double sampleRate;
        juce::int64 position = 0;
        juce::Random noise { 0x5eed };
    };

    struct DemoChannelLayout
    {
        int mainInputs = 2;
        int mainOutputs = 2;
        int totalInputs = 2;  // main plus side-chain inputs
        int totalOutputs = 2;
        int signalChannels = 2;  // the demo feeds and measures the first channels of the main buses
        bool stereoLayout = true;
    };

    struct DemoReport
    {
        SignalLevel input, output;
        double seconds = 0.0;
        bool outputNonFinite = false;
        juce::int64 lateBlocks = 0;  // played in real time: blocks that came later than their time
    };

    /** Prepares the instance for stereo in and out (side-chain off where the plug-in allows it,
    else stereo and silent). A format with fixed ports (LV2) keeps its own layout and the demo
    uses its first two channels. Returns nothing if the instance has no main buses. */
    std::optional<DemoChannelLayout> prepareForDemo (juce::AudioPluginInstance& instance, double sampleRate, int blockSize);

    /** Runs the demo signal through a prepared instance block by block and measures both sides. */
    DemoReport runDemoSignal (juce::AudioPluginInstance& instance, const DemoChannelLayout& layout, double sampleRate,
                              int blockSize, double seconds);

    class PluginHost;

    /** The same, as a DAW plays it: in real time on an audio thread of its own (DawSession) while
    the host's message loop runs on the calling thread. */
    DemoReport playDemoSignal (PluginHost& host, juce::AudioPluginInstance& instance, const DemoChannelLayout& layout,
                               double sampleRate, int blockSize, double seconds);

}  // namespace brisalto::host
