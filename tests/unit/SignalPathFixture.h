#pragma once

#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

// Drives the detector and output stage directly: parameters are set through setParameter and
// taken into the per-block snapshot by the render loop's own step, ring elements are filled by
// hand.
class SignalPathTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        p = std::make_unique<BrisaltoAudioProcessor>();
        p->mSampleRate = 48000.0f;
        p->mixMode = (int32_t) MixMode::multiMono;
        p->mNrInChannels = 2;
        p->mNrTotalInChannels = 2;
        set (Attack, 0.0f);
        set (Threshold, 0.6f);  // -20 dB
        set (Ratio, 0.25f);     // 3:1
        set (Release, 0.025f);  // 100 ms
        snapshot();
    }

    void set (int index, float normalised)
    {
        p->setParameter (index, normalised);
        snapshot();
    }

    // The render loop's per-block step: the parameter snapshot, the block's derived values and
    // the display values, and the block's mix mode.
    void snapshot()
    {
        p->snapshotParameters (true);
        p->mBlockMixMode = (MixMode) (int) p->mixMode;
    }

    // A ring of `elements` elements, each holding `channels` blocks of n samples.
    void makeRing (int elements, int channels, int n)
    {
        p->mRingBuffer.clear();
        for (int e = 0; e < elements; ++e)
        {
            ringbuf_data element;
            element.mSamples.assign ((size_t) (channels * n), 0.0f);
            element.mMeanSquares.assign ((size_t) channels, 0.0f);
            p->mRingBuffer.push_back (element);
        }
        blockSize = n;
    }

    // Stores a block and its mean square, as the render loop does.
    void putBlock (int element, int channel, const std::vector<float>& x)
    {
        auto& e = p->mRingBuffer[(size_t) element];
        float sum = 0.0f;
        for (int i = 0; i < blockSize; ++i)
        {
            e.mSamples[(size_t) (channel * blockSize + i)] = x[(size_t) i];
            sum += x[(size_t) i] * x[(size_t) i];
        }
        e.mMeanSquares[(size_t) channel] = sum / (float) blockSize;
    }

    static std::vector<float> constant (int n, float v) { return std::vector<float> ((size_t) n, v); }

    static std::vector<float> sine (int n, float amplitude, double hz, double fs = 48000.0, int offset = 0)
    {
        std::vector<float> x ((size_t) n);
        for (int i = 0; i < n; ++i)
            x[(size_t) i] = amplitude * (float) std::sin (2.0 * M_PI * hz * (double) (i + offset) / fs);
        return x;
    }

    channelComprStateT& state (int k) { return p->mChannelStates[(size_t) k]; }

    // One detector block of channel 0 from element 0.
    void runDetector (const std::vector<float>& x, int stateIndex = 0, int channel = 0)
    {
        putBlock (0, channel, x);
        p->calc_gains (state (stateIndex), 0, channel, blockSize, 0);
    }

    static float dbToGain (float db) { return std::pow (10.0f, db / 20.0f); }

    std::unique_ptr<BrisaltoAudioProcessor> p;
    int blockSize = 0;
};
