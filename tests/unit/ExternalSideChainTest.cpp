// External side-chain between instances of one process: a sender in mix mode 4 publishes its
// first input channel in a slot, a receiver in mix mode 5 on that slot detects on it.

#include "common/ExchangeTestSupport.h"

namespace
{
    int status (const Member& m)
    {
        return m.p->mLinkStatus.load();
    }

    class ExternalSideChain : public ExchangeFixture
    {
    protected:
        void SetUp() override { clearExternalSlots(); }

        Member& sender (int slot, int blockSize = 512)
        {
            auto& m = add (MixMode::sideChainSend, 2, blockSize);
            m.p->trackNumber = slot;
            return m;
        }

        Member& receiver (int slot, int blockSize = 512)
        {
            auto& m = add (MixMode::sideChainReceive, 2, blockSize);
            m.p->trackNumber = slot;
            return m;
        }
    };
}

TEST_F (ExternalSideChain, StatusFollowsTheTimestampsOfSenderAndReceiver)
{
    // Expected status with the sender rendering first, and with the receiver first (when the
    // sender has not yet published the last part of the block before the receiver's).
    struct Case
    {
        const char* name;
        bool withSender;
        int senderBlock;
        int64_t receiverOffset;
        int expected[2];
    };
    const Case cases[] = {
        { "same timestamps", true, 512, 0, { 1, 1 } },
        { "receiver 100 samples later", true, 512, 100, { 1, 2 } },
        { "receiver two blocks later", true, 512, 1024, { 3, 3 } },
        { "no sender", false, 512, 0, { 0, 0 } },
        { "sender blocks shorter than the receiver's", true, 256, 0, { 1, 1 } },
        { "shorter sender blocks, receiver 100 later", true, 256, 100, { 1, 8 } },
    };

    for (const bool reversed : { false, true })
        for (const auto& c : cases)
        {
            members.clear();
            clearExternalSlots();
            transport = {};
            if (c.withSender)
                sender (3, c.senderBlock);
            auto& r = receiver (3);
            r.head.offset = c.receiverOffset;

            cycles (6, 512, reversed);
            EXPECT_EQ (status (r), c.expected[reversed ? 1 : 0]) << c.name << (reversed ? ", receiver first" : "");
        }
}

TEST_F (ExternalSideChain, TwoSendersOnOneSlotSum)
{
    auto& a = sender (5);
    auto& b = sender (5);
    b.amplitude = 0.25f;
    auto& r = receiver (5);
    cycles (4);

    ASSERT_EQ (status (r), 1);
    // The receiver's block at tsx holds the senders' block tsx - 512.
    const int64_t wanted = transport.position - 1024;
    const float* side = r.lastSideDetector (512);
    for (int i = 0; i < 512; i += 37)
        EXPECT_NEAR (side[i], a.input (0, wanted + i) + b.input (0, wanted + i), 1.0e-6f) << i;
}

TEST_F (ExternalSideChain, FullMeansTheSenderHadToDropItsOldestBlock)
{
    // The receiver renders from the start (its transport start clears the slot before the
    // sender's first block, not later) but takes nothing yet.
    auto& r = add (MixMode::sum);
    r.p->trackNumber = 6;
    r.head.offset = 100 * 512;  // far ahead: nothing within 64 blocks
    auto& s = sender (6);

    cycles (ExchangeQueue::maxEntries);
    EXPECT_EQ (status (s), 5);
    cycle();  // the 17th unread block
    EXPECT_EQ (status (s), 7);

    // Nothing within 64 blocks and no free entry: the closest block.
    r.p->mixMode = (int) MixMode::sideChainReceive;
    cycle();
    EXPECT_EQ (status (r), 4);

    // In step again: the receiver frees what it used, the sender no longer drops blocks.
    r.head.offset = 0;
    cycles (3);
    EXPECT_EQ (status (r), 1);
    EXPECT_EQ (status (s), 5);

    // A receiver that finds nothing while entries are free takes no arbitrary block.
    r.head.offset = 100 * 512;
    cycles (2);
    EXPECT_EQ (status (r), 0);
}

TEST_F (ExternalSideChain, ReceiverDropsASenderThatStopped)
{
    auto& s = sender (2);
    auto& r = receiver (2);
    cycles (8);
    ASSERT_EQ (status (r), 1);

    s.renders = false;
    cycles (2);
    EXPECT_EQ (status (r), 3);  // its last block, found by stepping back
    cycles (ExchangeState::staleAfter - 2);
    EXPECT_EQ (status (r), 0);

    s.renders = true;
    cycles (2);
    EXPECT_NE (status (r), 0);
}

TEST_F (ExternalSideChain, TransportStartFromZeroNeverReceivesOlderSamples)
{
    for (const bool reversed : { false, true })
    {
        members.clear();
        clearExternalSlots();
        transport = {};
        auto& s = sender (1);
        auto& r = receiver (1);
        cycles (20, 512, reversed);

        // Stop, then play again from sample 0 with a new signal.
        transport.playing = false;
        cycles (3, 512, reversed);
        transport = {};
        s.amplitude = 0.1f;

        for (int block = 0; block < 4; ++block)
        {
            cycle (512, reversed);
            if (status (r) == 0)
                continue;
            ASSERT_EQ (status (r), 1) << block;
            const int64_t wanted = transport.position - 1024;
            const float* side = r.lastSideDetector (512);
            for (int i = 0; i < 512; i += 41)
                ASSERT_NEAR (side[i], s.input (0, wanted + i), 1.0e-6f)
                    << "block " << block << (reversed ? ", receiver first" : "");
        }
        EXPECT_EQ (status (r), 1);
    }
}

TEST_F (ExternalSideChain, SendModePassesTheInputDelayedByTheLatency)
{
    auto& s = sender (4);
    s.p->setParameter (Lookahead, 0.05f);
    s.p->setParameter (Adpative_Thresh_On, 1.0f);
    const int latency = s.p->getLatencySamples();
    ASSERT_GT (latency, 0);

    cycles (12);
    for (int i = latency; i < (int) s.output.size(); i += 97)
        ASSERT_EQ (s.output[(size_t) i], s.input (0, i - latency)) << i;
    EXPECT_EQ (status (s), 5);
}
