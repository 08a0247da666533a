// The render loop must not allocate once it runs: every global operator new and delete of this
// test executable (and, outside sanitizer builds, malloc and friends) counts while a thread
// has asked for it (RealTimeCounters.h).

#include "RealTimeCounters.h"
#include "RenderLoopTestSupport.h"

namespace
{
    using brisalto::rtcheck::allocationsDuring;

    struct Scenario
    {
        const char* name;
        MixMode mode;
        int mainIns, outs, sideIns;
        std::vector<int> sizes;
        bool bypassed;
        std::function<void (RenderHarness&)> settings;
        std::function<void (RenderHarness&, int)> everyBlock;  // automation between blocks
    };

    void loudSettings (RenderHarness& h)
    {
        h.setStaticCurve();
        h.setLookahead (50);
        h.set (BPFilterOn, 1.0f);
        h.set (SoftLimiterOn, 1.0f);
        h.set (AutoGainMakeupOn, 1.0f);
        h.set (Non_Lin_Release_On, 1.0f);
    }

    void everyStage (RenderHarness& h)
    {
        loudSettings (h);
        h.set (Tube_Distort_On, 1.0f);
        h.set (TubeClassA_Amount, 0.5f);
        h.set (TubeClassAB_Amount, 0.5f);
        h.set (DistortAmount, 0.3f);
        h.set (Mix, 0.85f);
        h.set (HardLimiterOn, 1.0f);
        h.set (HardLimiterRelease, 1.0f);
    }

    const Scenario scenarios[] = {
        { "sum, defaults", MixMode::sum, 2, 2, 0, { 512 }, false, [] (RenderHarness&) {}, nullptr },
        { "multi-mono, every stage", MixMode::multiMono, 4, 4, 0, { 512 }, false, everyStage, nullptr },
        { "sum, every stage", MixMode::sum, 8, 8, 0, { 512 }, false, everyStage, nullptr },
        { "side with side-chain", MixMode::side, 2, 2, 2, { 512 }, false, loudSettings, nullptr },
        { "side MIDI with notes", MixMode::sideMidi, 2, 2, 0, { 512 }, false, loudSettings, nullptr },
        { "varying block sizes", MixMode::multiMono, 2, 2, 1, { 512, 100, 1, 411, 37 }, false, everyStage, nullptr },
        { "blocks larger than announced", MixMode::sum, 2, 2, 0, { 2000, 512, 1300 }, false, loudSettings, nullptr },
        { "mono in, stereo out", MixMode::side, 1, 2, 1, { 512, 64 }, false, everyStage, nullptr },
        { "bypassed", MixMode::sum, 2, 2, 1, { 512, 99 }, true, everyStage, nullptr },
        { "hard-limiter release automated every block",
          MixMode::multiMono,
          4,
          4,
          0,
          { 64 },
          false,
          everyStage,
          [] (RenderHarness& h, int block) { h.set (HardLimiterRelease, (float) (block % 8) / 8.0f); } },
    };
}

TEST (Allocation, RenderingAllocatesNothingAfterWarmUp)
{
    for (const auto& s : scenarios)
    {
        RenderHarness h;
        ASSERT_TRUE (h.configure (s.mainIns, s.outs, s.sideIns)) << s.name;
        h.p.mixMode = (int) s.mode;
        h.p.midi_receive_from_DAW = 1;
        h.p.midi_progr_change_mode = 1;  // program changes go to the message thread's slot
        s.settings (h);

        const int length = 48000;
        Signals mains, sides;
        for (int ch = 0; ch < s.mainIns; ++ch)
            mains.push_back (sine (length, ch == 0 ? 0.9f : 0.3f, 440.0 + 100.0 * ch));
        for (int ch = 0; ch < s.sideIns; ++ch)
            sides.push_back (sine (length, 0.7f, 200.0));

        const auto notes = [] (int block, juce::MidiBuffer& midi)
        {
            if (block % 3 == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) (20 + block % 100)), 0);
            if (block % 4 == 0)
                midi.addEvent (juce::MidiMessage::programChange (1, block % 128), 1);
        };

        // Warm-up: every block size of the scenario has been seen once.
        h.render (mains, sides, s.sizes, s.bypassed, notes);

        // Steady state: the same again, block by block, counting only the processor's calls.
        const int ins = h.p.getTotalNumInputChannels(), outs = h.p.getTotalNumOutputChannels();
        long allocations = 0;
        int position = 0;
        for (int block = 0; position + 4096 < length; ++block)
        {
            const int n = s.sizes[(size_t) block % s.sizes.size()];
            juce::AudioBuffer<float> buffer (std::max (ins, outs), n);
            for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
                buffer.copyFrom (ch, 0, mains[0].data() + position, n);
            juce::MidiBuffer midi;
            notes (block, midi);
            if (s.everyBlock)
                s.everyBlock (h, block);

            allocations += allocationsDuring (
                [&]
                {
                    if (s.bypassed)
                        h.p.processBlockBypassed (buffer, midi);
                    else
                        h.p.processBlock (buffer, midi);
                });
            position += n;
        }
        EXPECT_EQ (allocations, 0) << s.name;
    }
}

TEST (Allocation, CounterSeesAllocations)
{
    // The counter itself works: a vector on the counting thread is seen.
    const long seen = allocationsDuring (
        []
        {
            std::vector<int> v (100);
            asm volatile("" : : "g"(v.data()) : "memory");  // clang may drop an unused allocation
        });
    EXPECT_GE (seen, 1);

    if (brisalto::rtcheck::countsCAllocator())
    {
        const long seenByC = allocationsDuring (
            []
            {
                juce::HeapBlock<float> block (100);
                asm volatile("" : : "g"(block.get()) : "memory");  // the compiler may not drop the pair
            });
        EXPECT_GE (seenByC, 1);
    }
}

#include "common/ExchangeTestSupport.h"

class ExchangeAllocation : public ExchangeFixture
{
};

TEST_F (ExchangeAllocation, SendReceiveAndLinkedGroupAllocateNothingAfterWarmUp)
{
    clearExternalSlots();
    auto& sender = add (MixMode::sideChainSend);
    sender.p->trackNumber = 0;
    auto& receiver = add (MixMode::sideChainReceive, 2, 1024);  // host blocks of two chunks
    receiver.p->trackNumber = 0;
    auto& unread = add (MixMode::sideChainSend);  // drops its oldest block every time
    unread.p->trackNumber = 1;
    auto& sum = add (MixMode::sum, 8);
    auto& other = add (MixMode::sum, 2, 1024);
    sum.p->groupSelectorChanged (2);
    other.p->groupSelectorChanged (2);
    for (auto& m : members)
        m->output.reserve (1 << 19);

    cycles (40, 1024);
    long allocations = 0;
    for (int i = 0; i < 100; ++i)
    {
        if (i % 10 == 0)
            other.p->setParameter (Ratio, 0.2f + 0.01f * (float) i);  // adopted by the sum member
        allocations += allocationsDuring ([&] { cycle (1024); });
    }
    EXPECT_EQ (allocations, 0);
    EXPECT_EQ (receiver.p->mLinkStatus.load(), (int) LinkStatus::exactTimestamp);
    EXPECT_EQ (unread.p->mLinkStatus.load(), (int) LinkStatus::queueFull);
    EXPECT_EQ (sum.p->mLink.lastLinkedChannels.load(), 2);
    EXPECT_GT (sum.p->mExchange.adoptions.load(), 0);
}
