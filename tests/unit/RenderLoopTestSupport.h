#pragma once

#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using Signal = std::vector<float>;
using Signals = std::vector<Signal>;

// A processor with a chosen layout, driven block by block as a host would.
struct RenderHarness
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    double sampleRate = 48000.0;
    int preparedBlock = 512;

    bool configure (int mainIns, int outs, int sideIns, int blockSize = 512, double rate = 48000.0)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (mainIns));
        layout.inputBuses.add (sideIns > 0 ? juce::AudioChannelSet::discreteChannels (sideIns)
                                           : juce::AudioChannelSet::disabled());
        layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (outs));
        if (! p.setBusesLayout (layout))
            return false;
        sampleRate = rate;
        preparedBlock = blockSize;
        p.prepareToPlay (rate, blockSize);
        return true;
    }

    void set (int index, float normalised) { p.setParameter (index, normalised); }

    // No gain change at all: threshold 0 dB, ratio 1, no adaptive makeup.
    void setTransparent()
    {
        set (Threshold, 1.0f);
        set (Ratio, 0.05f);
        set (Adaptive_Relative_Gain, 0.0f);
    }

    // Threshold -30 dB, ratio 4, instant attack, 4 s release: a steady sine settles at the
    // static curve's reduction of its peak level.
    void setStaticCurve()
    {
        set (Threshold, 0.4f);
        set (Ratio, 0.35f);
        set (Attack, 0.0f);
        set (Release, 1.0f);
    }

    // Look-ahead switched on with `ms` of look-ahead.
    void setLookahead (int ms)
    {
        set (Lookahead, (float) ms / 1000.0f);
        set (Adpative_Thresh_On, 1.0f);
    }

    // Renders main (and side-chain) input through the processor in blocks whose sizes cycle
    // through `sizes`; returns every output channel.
    Signals render (const Signals& mainIn, const Signals& sideIn, const std::vector<int>& sizes, bool bypassed = false,
                    std::function<void (int, juce::MidiBuffer&)> midiForBlock = {})
    {
        const int length = mainIn.empty() ? 0 : (int) mainIn[0].size();
        const int ins = p.getTotalNumInputChannels();
        const int outs = p.getTotalNumOutputChannels();
        const int mainStart = p.getChannelIndexInProcessBlockBuffer (true, 0, 0);
        const int sideStart = p.getBusCount (true) > 1 ? p.getChannelIndexInProcessBlockBuffer (true, 1, 0) : ins;
        Signals out ((size_t) outs, Signal ((size_t) length, 0.0f));

        int position = 0;
        for (int blockIndex = 0; position < length; ++blockIndex)
        {
            const int n = std::min (sizes[(size_t) blockIndex % sizes.size()], length - position);
            juce::AudioBuffer<float> buffer (std::max (ins, outs), n);
            buffer.clear();
            for (size_t ch = 0; ch < mainIn.size(); ++ch)
                buffer.copyFrom (mainStart + (int) ch, 0, mainIn[ch].data() + position, n);
            for (size_t ch = 0; ch < sideIn.size(); ++ch)
                buffer.copyFrom (sideStart + (int) ch, 0, sideIn[ch].data() + position, n);

            juce::MidiBuffer midi;
            if (midiForBlock)
                midiForBlock (blockIndex, midi);

            if (bypassed)
                p.processBlockBypassed (buffer, midi);
            else
                p.processBlock (buffer, midi);

            for (int ch = 0; ch < outs; ++ch)
                std::copy (buffer.getReadPointer (ch), buffer.getReadPointer (ch) + n, out[(size_t) ch].begin() + position);
            position += n;
        }
        return out;
    }
};

inline Signal sine (int length, float amplitude, double frequency = 1000.0, double rate = 48000.0)
{
    Signal s ((size_t) length);
    for (int i = 0; i < length; ++i)
        s[(size_t) i] = amplitude * (float) std::sin (2.0 * juce::MathConstants<double>::pi * frequency * i / rate);
    return s;
}

inline Signal impulse (int length, int at, float height)
{
    Signal s ((size_t) length, 0.0f);
    s[(size_t) at] = height;
    return s;
}

inline int firstNonZero (const Signal& s, float floor = 1.0e-6f)
{
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs (s[i]) > floor)
            return (int) i;
    return -1;
}

inline float peakDb (const Signal& s, int from, int to)
{
    float peak = 0.0f;
    for (int i = from; i < to; ++i)
        peak = std::max (peak, std::abs (s[(size_t) i]));
    return 20.0f * std::log10 (std::max (peak, 1.0e-9f));
}
