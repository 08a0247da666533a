#pragma once

#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Several processors in one process, driven as a host drives them: one shared transport, each
// instance rendering its own blocks in a fixed order per host cycle.
struct SharedTransport
{
    int64_t position = 0;
    bool playing = true;
};

// One instance's view of the shared transport (optionally offset, and with a hook that runs
// while the render loop reads the play head, i.e. in the middle of a block).
struct InstancePlayHead : juce::AudioPlayHead
{
    const SharedTransport* transport = nullptr;
    int64_t offset = 0;
    int64_t blockStart = 0;              // position of the block being rendered
    std::optional<uint64_t> hostTimeNs;  // the callback time, when the host reports one
    std::function<void()> duringBlock;

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (duringBlock)
            duringBlock();
        PositionInfo info;
        info.setTimeInSamples (blockStart);
        info.setIsPlaying (transport->playing);
        if (hostTimeNs)
            info.setHostTimeNs (*hostTimeNs);
        return info;
    }
};

struct Member
{
    std::unique_ptr<BrisaltoAudioProcessor> p;
    InstancePlayHead head;
    int blockSize = 512;
    bool renders = true;
    float amplitude = 0.5f;
    juce::AudioBuffer<float> buffer;
    std::vector<float> output;  // main output channel 0 of everything rendered

    // Main input channel ch at sample position t: a different tone per channel and amplitude.
    float input (int ch, int64_t t) const { return amplitude * (float) std::sin (0.013 * (double) t * (ch + 1) + 0.3 * ch); }

    int mains() const { return p->getMainBusNumInputChannels(); }

    // The summed detector block of the chunk rendered last (n samples).
    const float* lastSumDetector (int n) const
    {
        const int size = (int) p->mRingBuffer.size();
        const auto& element = p->mRingBuffer[(size_t) ((p->mRingWriteIndex - 1 + size) % size)];
        return element.mSamples.data() + (size_t) p->mNrTotalInChannels * (size_t) n;
    }

    // The side detector block (received external side-chain) of the chunk rendered last.
    const float* lastSideDetector (int n) const
    {
        const int size = (int) p->mRingBuffer.size();
        const auto& element = p->mRingBuffer[(size_t) ((p->mRingWriteIndex - 1 + size) % size)];
        return element.mSamples.data() + (size_t) p->mNrInChannels * (size_t) n;
    }

    void renderBlock (int64_t start, int n)
    {
        const int channels = std::max (p->getTotalNumInputChannels(), p->getTotalNumOutputChannels());
        buffer.setSize (channels, n, false, false, true);
        buffer.clear();
        for (int ch = 0; ch < mains(); ++ch)
            for (int i = 0; i < n; ++i)
                buffer.setSample (ch, i, input (ch, start + i));
        juce::MidiBuffer midi;
        p->processBlock (buffer, midi);
        output.insert (output.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + n);
    }
};

// A prepared instance with `channels` main inputs and outputs, following `transport`.
inline std::unique_ptr<Member> makeMember (const SharedTransport& transport, MixMode mode, int channels = 2, int blockSize = 512,
                                           int preparedSize = 512, std::unique_ptr<BrisaltoAudioProcessor> processor = nullptr)
{
    auto m = std::make_unique<Member>();
    m->p = processor != nullptr ? std::move (processor) : std::make_unique<BrisaltoAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (channels));
    layout.inputBuses.add (juce::AudioChannelSet::disabled());
    layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (channels));
    EXPECT_TRUE (m->p->setBusesLayout (layout));
    m->p->prepareToPlay (48000.0, preparedSize);
    m->p->mixMode = (int) mode;
    m->head.transport = &transport;
    m->p->setPlayHead (&m->head);
    m->blockSize = blockSize;
    return m;
}

class ExchangeFixture : public ::testing::Test
{
protected:
    ScopedXdgFolders folders;
    SharedTransport transport;
    std::vector<std::unique_ptr<Member>> members;

    Member& add (MixMode mode, int channels = 2, int blockSize = 512, int preparedSize = 512,
                 std::unique_ptr<BrisaltoAudioProcessor> processor = nullptr)
    {
        members.push_back (makeMember (transport, mode, channels, blockSize, preparedSize, std::move (processor)));
        return *members.back();
    }

    // One host cycle of `length` samples: every rendering member in list order (or reversed)
    // renders it in its own block size; then the transport moves on.
    void cycle (int length = 512, bool reversed = false)
    {
        const int count = (int) members.size();
        for (int k = 0; k < count; ++k)
        {
            auto& m = *members[(size_t) (reversed ? count - 1 - k : k)];
            if (m.p == nullptr || ! m.renders)
                continue;
            const int64_t start = transport.position + m.head.offset;
            for (int done = 0; done < length; done += m.blockSize)
            {
                m.head.blockStart = start + done;
                m.renderBlock (start + done, std::min (m.blockSize, length - done));
            }
        }
        if (transport.playing)
            transport.position += length;
    }

    void cycles (int count, int length = 512, bool reversed = false)
    {
        for (int i = 0; i < count; ++i)
            cycle (length, reversed);
    }
};

// The slots and records are process-wide: each test starts with empty external slots.
inline void clearExternalSlots()
{
    for (auto& slot : BrisaltoAudioProcessor::sExtSideChainData)
        slot.clear();
}
