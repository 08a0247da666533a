// Link groups between instances of one process: members publish their weighted squared inputs,
// a member in MixMode::sum adds the others' data to its summed detector and, with SYNC PARS,
// follows their main parameters.

#include "common/ExchangeTestSupport.h"
#include "platform/Log.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace
{
    int linked (const Member& m)
    {
        return m.p->mLink.lastLinkedChannels.load();
    }

    class LinkGroup : public ExchangeFixture
    {
    protected:
        Member& member (MixMode mode, int group, int channels = 2, int blockSize = 512, int prepared = 512)
        {
            auto& m = add (mode, channels, blockSize, prepared);
            m.p->groupSelectorChanged (group + 1);
            return m;
        }

        // The summed detector of `sum` against its own and `other`'s inputs of the wanted block.
        void expectGroupDetector (const Member& sum, const Member& other, int n = 512)
        {
            const int64_t tsx = transport.position - n;
            const float* s = sum.lastSumDetector (n);
            for (int i = 0; i < n; i += 29)
            {
                double squares = 0.0;
                for (int ch = 0; ch < 2; ++ch)
                    squares += std::pow (sum.input (ch, tsx + i), 2.0) + std::pow (other.input (ch, tsx - n + i), 2.0);
                ASSERT_NEAR (s[i], std::sqrt (squares / 4.0), 1.0e-5) << i;
            }
        }
    };

    struct ParameterSpy : juce::AudioProcessorListener
    {
        std::map<int, float> changes;
        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override { changes[index] = value; }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    };
}

TEST_F (LinkGroup, SumMemberDetectsOnTheWholeGroup)
{
    for (const bool reversed : { false, true })
    {
        members.clear();
        auto& sum = member (MixMode::sum, 1);
        auto& mono = member (MixMode::multiMono, 1);
        mono.amplitude = 0.8f;
        cycles (5, 512, reversed);

        EXPECT_EQ (linked (sum), 2);
        expectGroupDetector (sum, mono);
        EXPECT_EQ (linked (mono), 0);  // publishes, takes nothing
    }
}

TEST_F (LinkGroup, MembersLeave)
{
    enum class Leave
    {
        selector,
        destruction,
        selectorDuringBlock
    };
    for (const auto how : { Leave::selector, Leave::destruction, Leave::selectorDuringBlock })
    {
        members.clear();
        auto& sum = member (MixMode::sum, 2);
        auto& other = member (MixMode::sum, 2);
        cycles (3);
        ASSERT_EQ (linked (sum), 2);

        if (how == Leave::selector)
            other.p->groupSelectorChanged (1);
        else if (how == Leave::destruction)
            other.p.reset();
        else
            other.head.duringBlock = [&other, fired = false]() mutable
            {
                if (! fired)
                    other.p->groupSelectorChanged (1);
                fired = true;
            };

        cycles (3);  // a block in flight may publish the old group once more
        EXPECT_EQ (linked (sum), 0) << (int) how;
    }
}

TEST_F (LinkGroup, MemberThatStopsRenderingDropsOutAndComesBack)
{
    auto& sum = member (MixMode::sum, 3);
    auto& other = member (MixMode::side, 3);
    cycles (3);
    ASSERT_EQ (linked (sum), 2);

    other.renders = false;
    cycles (ExchangeState::staleAfter + 1);
    EXPECT_EQ (linked (sum), 0);

    other.renders = true;
    cycles (2);
    EXPECT_EQ (linked (sum), 2);
    expectGroupDetector (sum, other);
}

TEST_F (LinkGroup, LoopJumpBackNeverAddsTheEarlierPass)
{
    auto& other = member (MixMode::multiMono, 4);  // renders first in each cycle
    auto& sum = member (MixMode::sum, 4);
    sum.amplitude = 0.0f;
    cycles (10);

    // Back by four blocks, and the other member now plays quietly: nothing of its loud
    // earlier pass may reach the detector.
    transport.position -= 4 * 512;
    other.amplitude = 0.1f;
    for (int block = 0; block < 4; ++block)
    {
        cycle();
        const float* s = sum.lastSumDetector (512);
        for (int i = 0; i < 512; ++i)
            ASSERT_LE (s[i], 0.1f * std::sqrt (0.5f) + 1.0e-6f) << block << " " << i;
    }
    expectGroupDetector (sum, other);
}

TEST_F (LinkGroup, HostBlocksLongerThanPreparedGiveTheSameDetector)
{
    std::vector<float> outputs[2];
    for (const int hostBlock : { 512, 2048 })
    {
        members.clear();
        transport = {};
        auto& other = member (MixMode::multiMono, 5, 2, hostBlock);  // publishes first in each cycle
        auto& sum = member (MixMode::sum, 5, 2, hostBlock);
        other.amplitude = 0.9f;
        sum.amplitude = 0.05f;
        sum.p->setParameter (Threshold, 0.4f);
        sum.p->setParameter (Attack, 0.0f);
        cycles (8, 2048);
        outputs[hostBlock == 512 ? 0 : 1] = sum.output;
    }
    EXPECT_EQ (outputs[0], outputs[1]);
}

TEST_F (LinkGroup, SideChainSlotIsNoLinkGroup)
{
    auto& sum = member (MixMode::sum, 2);
    auto& receiver = add (MixMode::sideChainReceive);
    receiver.p->groupSelectorChanged (3);  // slot "3": trackNumber 2, no group
    ASSERT_EQ (receiver.p->trackNumber.load(), 2);
    EXPECT_EQ (receiver.p->groupNumber.load(), 0);
    cycles (3);
    EXPECT_EQ (linked (sum), 0);
    EXPECT_EQ (BrisaltoAudioProcessor::mInstRMSBuffers[receiver.p->linkRecordIndex()].mGroupNumber.load(), 0);
}

TEST_F (LinkGroup, RecordsOfDestroyedInstancesAreReused)
{
    for (int i = 0; i < 600; ++i)
        BrisaltoAudioProcessor passing;

    auto& sum = member (MixMode::sum, 6);
    member (MixMode::sum, 6);
    ASSERT_GE (sum.p->mInstanceId, 600);
    cycles (3);
    EXPECT_EQ (linked (sum), 2);

    // With every record taken a further instance has none; a destroyed one gives its record back.
    std::vector<std::unique_ptr<BrisaltoAudioProcessor>> alive;
    while (brisalto::linkrecords::inUse() < NUM_LINK_RECORDS)
        alive.push_back (std::make_unique<BrisaltoAudioProcessor>());
    EXPECT_EQ (BrisaltoAudioProcessor().linkRecordIndex(), -1);
    alive.pop_back();
    EXPECT_GE (BrisaltoAudioProcessor().linkRecordIndex(), 0);
}

TEST_F (LinkGroup, SyncAdoptsChangesBeyondTheTolerances)
{
    auto& publisher = member (MixMode::sum, 7);
    auto& follower = member (MixMode::sum, 7);
    ParameterSpy spy;
    follower.p->addListener (&spy);

    // A member's first publication is never adopted.
    publisher.p->setParameter (Ratio, 0.4f);  // 4.5
    cycles (2);
    EXPECT_FLOAT_EQ (follower.p->mRatio.load(), 4.0f);

    publisher.p->setParameter (Ratio, 0.3504f);  // 4.004: within 0.01
    cycles (2);
    EXPECT_TRUE (spy.changes.empty());

    publisher.p->setParameter (Ratio, 0.4f);
    cycles (2);
    ASSERT_EQ (spy.changes.count (Ratio), 1u);
    EXPECT_EQ (spy.changes[Ratio], 0.4f);
    EXPECT_FLOAT_EQ (follower.p->mRatio.load(), 4.5f);
    EXPECT_EQ (follower.p->mCurrentProgram.load(), 0);

    // Attack in samples arrives whole and does not travel back.
    publisher.p->setParameter (Attack, 29.5f / 2400.0f);  // 29 samples at 48 kHz
    cycles (2);
    follower.p->setParameter (HardLimiterRelease, follower.p->getParameter (HardLimiterRelease));  // republishes
    cycles (3);
    EXPECT_EQ (publisher.p->mAttackSamples.load(), 29);
    EXPECT_EQ (follower.p->mAttackSamples.load(), 29);
    follower.p->removeListener (&spy);
}

TEST_F (LinkGroup, EditorConstructionDoesNotStallALinkedRenderer)
{
    // An editor that cannot finish before the linked instance has rendered.
    struct SlowEditorProcessor : BrisaltoAudioProcessor
    {
        std::mutex lock;
        std::condition_variable changed;
        bool constructing = false, released = false, timedOut = false;

        juce::AudioProcessorEditor* createEditor() override
        {
            std::unique_lock<std::mutex> l (lock);
            constructing = true;
            changed.notify_all();
            timedOut = ! changed.wait_for (l, std::chrono::seconds (60), [this] { return released; });
            return nullptr;
        }
    };

    auto& publisher = member (MixMode::sum, 8);
    auto* slow =
        static_cast<SlowEditorProcessor*> (add (MixMode::sum, 2, 512, 512, std::make_unique<SlowEditorProcessor>()).p.get());
    slow->groupSelectorChanged (9);
    cycles (2);

    std::thread editorThread ([slow] { slow->createEditorIfNeeded(); });
    {
        std::unique_lock<std::mutex> l (slow->lock);
        slow->changed.wait (l, [slow] { return slow->constructing; });
    }

    publisher.p->setParameter (Threshold, 0.5f);
    publisher.p->setParameter (Threshold, 0.6f);
    cycles (3);  // adopts while the editor is being built
    EXPECT_NEAR (slow->mThresholdDb.load(), -20.0f, 1.0e-3f);
    EXPECT_TRUE (slow->takeEditorRefreshRequest());

    {
        std::lock_guard<std::mutex> l (slow->lock);
        slow->released = true;
    }
    slow->changed.notify_all();
    editorThread.join();
    EXPECT_FALSE (slow->timedOut);  // the renderer never waited for the editor
}

TEST_F (LinkGroup, ExchangeLogsBoundedLinesWithoutDiagnostics)
{
    struct CountingSink : brisalto::platform::log::Sink
    {
        std::atomic<int> lines { 0 };
        void write (int, const char* text, bool) override
        {
            // The exchange's lines (the render loop logs every jump of the intermittent sender).
            const juce::String line (text);
            if (line.contains ("link status") || line.contains ("linked") || line.contains ("sidechain"))
                ++lines;
        }
    } sink;

    brisalto::exchange::setDiagnostics (false);
    member (MixMode::sum, 10, 28);
    auto& late = member (MixMode::sum, 10);
    late.head.offset = 5 * 512;  // never finds the block it wants
    // A sender that renders every other block: its receiver's status changes every block.
    clearExternalSlots();
    auto& sender = add (MixMode::sideChainSend);
    sender.p->trackNumber = 7;
    add (MixMode::sideChainReceive).p->trackNumber = 7;
    cycles (3);

    brisalto::platform::log::setSink (&sink);
    for (int block = 0; block < 1000; ++block)
    {
        sender.renders = block % 2 == 0;
        cycle();
    }
    brisalto::platform::log::flush();
    brisalto::platform::log::setSink (nullptr);
    EXPECT_GE (sink.lines.load(), 1);   // the first mismatch is reported
    EXPECT_LE (sink.lines.load(), 40);  // about 11 s of audio: at most a line a second each
}
