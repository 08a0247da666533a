// The side-chain and link exchanges driven directly, two objects on the process-wide record
// tables, without processors around them (the processor tests cover them end to end).

#include "processor/PluginProcessor.h"
#include "processor/exchange/ExchangeState.h"
#include "processor/exchange/LinkExchange.h"
#include "processor/exchange/SideChainExchange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace
{
    constexpr int prepared = 512;

    // A block of `channels` main inputs: channel ch holds a tone of its own at sample positions
    // from `start`.
    struct TestBlock
    {
        std::vector<std::vector<float>> data;
        std::vector<float*> pointers;
        brisalto::exchange::BlockView view;

        TestBlock (int channels, int n, int64_t start, MixMode mode = MixMode::sum, int track = 0, int group = 0)
            : data ((size_t) channels, std::vector<float> ((size_t) n))
        {
            for (int ch = 0; ch < channels; ++ch)
            {
                for (int i = 0; i < n; ++i)
                    data[(size_t) ch][(size_t) i] = sample (ch, start + i);
                pointers.push_back (data[(size_t) ch].data());
            }
            view.mode = mode;
            view.track = track;
            view.group = group;
            view.playing = true;
            view.channels = pointers.data();
            view.bufferChannels = channels;
            view.mainIns = channels;
            view.nrIn = channels;
            for (int ch = 0; ch < MAX_CHANNELS; ++ch)
                view.weights[ch] = 1.0f;
        }

        static float sample (int ch, int64_t t) { return 0.5f * (float) std::sin (0.017 * (double) t * (ch + 1) + ch); }
    };

    struct SideChainPair : ::testing::Test
    {
        SideChainExchange sender { BrisaltoAudioProcessor::sExtSideChainData };
        SideChainExchange receiver { BrisaltoAudioProcessor::sExtSideChainData };

        void SetUp() override
        {
            for (auto& record : BrisaltoAudioProcessor::sExtSideChainData)
                record.clear();
            sender.prepare (prepared);
            receiver.prepare (prepared);
        }

        // Sends [from, to) on `slot` in blocks of n.
        void sendBlocks (int slot, int64_t from, int64_t to, int n)
        {
            for (int64_t t = from; t < to; t += n)
            {
                TestBlock b (1, n, t, MixMode::sideChainSend, slot);
                ASSERT_TRUE (sender.send (b.view, b.pointers[0], n, t).has_value());
            }
        }

        std::optional<SideChainExchange::Receipt> receiveAt (int slot, int64_t tsx, int n)
        {
            TestBlock b (1, n, tsx, MixMode::sideChainReceive, slot);
            return receiver.receive (b.view, n, tsx, prepared);
        }
    };

    struct LinkMember
    {
        int32_t seen[NUM_LINK_RECORDS] {};
        LinkExchange link { BrisaltoAudioProcessor::mInstRMSBuffers, seen };
        ExchangeLogPace pace;

        LinkMember()
        {
            link.attach (0);
            link.prepare (prepared);
        }
        ~LinkMember() { link.detach(); }

        LinkExchange::SendResult send (int channels, int group, int64_t tsx, int n, const LinkExchange::Settings* s = nullptr)
        {
            TestBlock b (channels, n, tsx, MixMode::sum, 0, group);
            return link.send (b.view, 0, n, tsx, s);
        }

        LinkExchange::Receipt receive (int group, int64_t tsx, int n, std::vector<float>& S, bool sync = true)
        {
            TestBlock b (2, n, tsx, MixMode::sum, 0, group);
            S.assign ((size_t) n, 0.0f);
            LinkExchange::ReceiveOptions options;
            options.syncParameters = sync;
            return link.receive (b.view, S.data(), n, tsx, options, pace);
        }
    };
}

TEST_F (SideChainPair, ReceiverGetsTheSendersPreviousBlockWhateverTheBlockSizes)
{
    struct Case
    {
        int sent, received;
    };
    for (const Case c : { Case { 512, 512 }, Case { 128, 512 }, Case { 512, 128 }, Case { 384, 256 } })
    {
        SCOPED_TRACE (testing::Message() << c.sent << " sent, " << c.received << " received");
        SetUp();
        sendBlocks (3, 0, 2048, c.sent);

        const int64_t tsx = 1024;
        const auto receipt = receiveAt (3, tsx, c.received);
        ASSERT_TRUE (receipt.has_value());
        EXPECT_EQ (receipt->status, LinkStatus::exactTimestamp);
        ASSERT_NE (receipt->samples, nullptr);
        for (int i = 0; i < c.received; ++i)
            ASSERT_EQ (receipt->samples[i], TestBlock::sample (0, tsx - c.received + i)) << "sample " << i;
    }
}

TEST_F (SideChainPair, TwoSendersOnOneSlotSum)
{
    SideChainExchange second { BrisaltoAudioProcessor::sExtSideChainData };
    second.prepare (prepared);
    sendBlocks (2, 0, 512, 512);
    TestBlock b (1, 512, 0, MixMode::sideChainSend, 2);
    ASSERT_TRUE (second.send (b.view, b.pointers[0], 512, 0).has_value());

    const auto receipt = receiveAt (2, 512, 512);
    ASSERT_TRUE (receipt.has_value());
    ASSERT_NE (receipt->samples, nullptr);
    EXPECT_FLOAT_EQ (receipt->samples[100], 2.0f * TestBlock::sample (0, 100));
}

TEST_F (SideChainPair, StatusOfSendsAndReceivesAtTheEdges)
{
    // Nothing sent: no data.
    auto receipt = receiveAt (4, 512, 512);
    ASSERT_TRUE (receipt.has_value());
    EXPECT_EQ (receipt->status, LinkStatus::noData);
    EXPECT_EQ (receipt->samples, nullptr);

    // Slots outside the table exchange nothing.
    for (const int slot : { -1, NUM_EXT_SIDECHAIN_SLOTS, 15 })
    {
        TestBlock b (1, 512, 0, MixMode::sideChainSend, slot);
        EXPECT_FALSE (sender.send (b.view, b.pointers[0], 512, 0).has_value()) << slot;
        EXPECT_FALSE (receiveAt (slot, 512, 512).has_value()) << slot;
    }

    // Sixteen blocks fill the queue; the seventeenth drops the oldest.
    for (int k = 0; k < 17; ++k)
    {
        TestBlock b (1, 512, k * 512, MixMode::sideChainSend, 5);
        EXPECT_EQ (sender.send (b.view, b.pointers[0], 512, k * 512), k < 16 ? LinkStatus::sent : LinkStatus::queueFull) << k;
    }

    // A receiver with a larger block than the sender's entries hold, nothing whole: too short.
    SetUp();
    sendBlocks (6, 0, 256, 256);
    sendBlocks (6, 4096, 4096 + 256, 256);
    receipt = receiveAt (6, 4096 + 512, 512);
    ASSERT_TRUE (receipt.has_value());
    EXPECT_EQ (receipt->status, LinkStatus::bufferTooShort);
    EXPECT_EQ (receipt->samples, nullptr);
}

TEST_F (SideChainPair, BusySlotIsSkippedAndItsClearRetried)
{
    sendBlocks (1, 0, 1024, 512);
    {
        std::lock_guard<std::mutex> held (BrisaltoAudioProcessor::sExtSideChainData[1].mMutex);
        EXPECT_FALSE (receiveAt (1, 1024, 512).has_value());
        receiver.clearAll();  // slot 1 stays busy: its clear waits
    }
    EXPECT_GT (receiver.skippedLocks.load(), 0);
    EXPECT_EQ (receiveAt (1, 1024, 512)->status, LinkStatus::exactTimestamp);

    receiver.retryPendingClears();
    EXPECT_EQ (receiveAt (1, 1024, 512)->status, LinkStatus::noData);
}

TEST (LinkPair, MembersAddTheirMeanWeightedSquaresTimesTheirChannels)
{
    LinkMember a, b;
    ASSERT_GE (a.link.record(), 0);
    constexpr int n = 256;
    a.send (2, 3, 0, n);
    a.send (2, 3, n, n);

    std::vector<float> S;
    const auto receipt = b.receive (3, 2 * n, n, S);
    EXPECT_EQ (receipt.linkedChannels, 2);
    for (int i = 0; i < n; i += 37)
    {
        const float x0 = TestBlock::sample (0, n + i), x1 = TestBlock::sample (1, n + i);
        EXPECT_NEAR (S[(size_t) i], x0 * x0 + x1 * x1, 1e-6f) << i;  // 2 channels x their mean
    }

    // Another group, and a member that left, add nothing.
    EXPECT_EQ (b.receive (4, 2 * n, n, S).linkedChannels, 0);
    a.link.leaveGroup();
    EXPECT_EQ (b.receive (3, 2 * n, n, S).linkedChannels, 0);
}

TEST (LinkPair, SettingsAreListedForAdoptionFromTheSecondPublicationOn)
{
    LinkMember a, b;
    constexpr int n = 128;
    std::vector<float> S;
    LinkExchange::Settings s;
    s.ratio = 4.5f;
    s.thresholdDb = -20.0f;

    EXPECT_TRUE (a.send (1, 2, 0, n, &s).published);
    EXPECT_EQ (b.receive (2, n, n, S).adoptionCount, 0);  // the first is never adopted

    s.ratio = 6.0f;
    a.send (1, 2, n, n, &s);
    EXPECT_EQ (b.receive (2, 2 * n, n, S, false).adoptionCount, 0);  // no SYNC PARS
    const auto receipt = b.receive (2, 2 * n, n, S);
    ASSERT_EQ (receipt.adoptionCount, 1);
    EXPECT_EQ (receipt.adoptions[0].record, a.link.record());
    EXPECT_EQ (receipt.adoptions[0].count, 2);
    EXPECT_EQ (receipt.adoptions[0].settings.ratio, 6.0f);
    EXPECT_EQ (receipt.adoptions[0].settings.thresholdDb, -20.0f);

    // Once the adopter records the count, the same publication is not listed again.
    b.seen[a.link.record()] = receipt.adoptions[0].count;
    EXPECT_EQ (b.receive (2, 2 * n, n, S).adoptionCount, 0);
}

TEST (LinkPair, BusyOwnRecordPublishesAtTheNextSend)
{
    LinkMember a, b;
    constexpr int n = 128;
    LinkExchange::Settings s;
    {
        std::lock_guard<std::mutex> held (BrisaltoAudioProcessor::mInstRMSBuffers[a.link.record()].mMutex);
        EXPECT_FALSE (a.send (1, 1, 0, n, &s).published);
    }
    EXPECT_TRUE (a.send (1, 1, 0, n, &s).published);

    // Time going back clears the own record before publishing: the earlier pass is gone.
    a.send (1, 1, n, n);
    a.send (1, 1, 0, n);
    std::vector<float> S;
    EXPECT_EQ (b.receive (1, 2 * n, n, S).linkedChannels, 1);
    const float x = TestBlock::sample (0, 5);
    EXPECT_FLOAT_EQ (S[5], x * x);  // [n, 2n) went with the clear: the nearest entry holds [0, n)
}
