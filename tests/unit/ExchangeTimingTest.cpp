// The exchange between instances under a host's real timing: block sizes that change from call
// to call, and a stopped transport where the receiver starts long after the sender.

#include "common/ExchangeTestSupport.h"
#include "common/HostBlockPatterns.h"

namespace
{
    enum class Exchange
    {
        externalSideChain,
        sumLinkGroup
    };

    struct Outcome
    {
        int onsetBlocks = -1;    // host blocks from the sender's first loud block to the receiver's
        float duckingDb = 0.0f;  // the receiver's output level without minus with the sender's signal
    };

    float peak (const float* x, int n)
    {
        float m = 0.0f;
        for (int i = 0; i < n; ++i)
            m = std::max (m, std::abs (x[i]));
        return m;
    }

    float rmsDb (const std::vector<float>& x, size_t from, size_t count)
    {
        double sum = 0.0;
        for (size_t i = from; i < from + count; ++i)
            sum += (double) x[i] * (double) x[i];
        return juce::Decibels::gainToDecibels ((float) std::sqrt (sum / (double) count), -144.0f);
    }

    class ExchangeTiming : public ::testing::Test
    {
    protected:
        ScopedXdgFolders folders;
        SharedTransport transport;

        static constexpr int64_t receiverJoins = 4096;  // signal position of the receiver's first block
        static constexpr int64_t senderLoud = 16384;    // from the first block starting here
        static constexpr int64_t end = 32768;
        static constexpr size_t window = 4096;

        Outcome run (Exchange exchange, bool playing, bool receiverFirst, const std::vector<int>& sizes)
        {
            clearExternalSlots();
            transport = {};
            transport.playing = playing;

            const bool external = exchange == Exchange::externalSideChain;
            auto sender = makeMember (transport, external ? MixMode::sideChainSend : MixMode::multiMono);
            auto receiver = makeMember (transport, external ? MixMode::sideChainReceive : MixMode::sum);
            for (auto* m : { sender.get(), receiver.get() })
            {
                if (external)
                    m->p->trackNumber = 2;
                else
                    m->p->groupSelectorChanged (7);
            }
            receiver->p->setParameter (Threshold, 0.4f);
            receiver->p->setParameter (Ratio, 0.35f);
            receiver->p->setParameter (Attack, 0.0f);
            receiver->p->setParameter (Release, 0.01f);
            receiver->amplitude = 0.05f;
            sender->amplitude = 0.0f;

            int64_t position = 0, joinedAt = -1;
            int loudBlock = -1, heardBlock = -1;
            for (int block = 0; position < end; ++block)
            {
                const int n = sizes[(size_t) block % sizes.size()];
                if (loudBlock < 0 && position >= senderLoud)
                {
                    loudBlock = block;
                    sender->amplitude = 0.9f;
                }
                if (joinedAt < 0 && position >= receiverJoins)
                    joinedAt = position;

                // The transport position while playing; a stopped host reports where it stands.
                // Both instances see the host's time of this callback.
                for (auto* m : { sender.get(), receiver.get() })
                {
                    m->head.blockStart = playing ? position : 0;
                    m->head.hostTimeNs = nextHostTimeNs + (uint64_t) (position * 1000000000 / 48000);
                }
                const bool receives = joinedAt >= 0;
                Member* const order[] = { receiverFirst ? receiver.get() : sender.get(),
                                          receiverFirst ? sender.get() : receiver.get() };
                for (auto* m : order)
                    if (m == sender.get() || receives)
                        m->renderBlock (position, n);

                const int lastChunk = n - (n - 1) / 512 * 512;
                const float* detector = external ? receiver->lastSideDetector (lastChunk) : receiver->lastSumDetector (lastChunk);
                if (receives && heardBlock < 0 && peak (detector, lastChunk) > 0.2f)
                    heardBlock = block;
                position += n;
            }
            nextHostTimeNs += 10000000000ull;

            // Output sample i of the receiver belongs to position joinedAt + i.
            const auto& out = receiver->output;
            Outcome outcome;
            outcome.onsetBlocks = heardBlock < 0 ? -1 : heardBlock - loudBlock;
            const float quiet = rmsDb (out, (size_t) (senderLoud - joinedAt) - window, window);
            outcome.duckingDb = quiet - rmsDb (out, out.size() - window, window);
            return outcome;
        }

        uint64_t nextHostTimeNs = 1000000000ull;
    };
}

TEST_F (ExchangeTiming, ReceiverDucksOneBlockAfterTheSenderWhateverTheHostBlocks)
{
    for (const auto exchange : { Exchange::externalSideChain, Exchange::sumLinkGroup })
        for (const bool playing : { true, false })
            for (const bool receiverFirst : { false, true })
            {
                float constantDucking = 0.0f;
                for (const auto& pattern : hostBlockPatterns)
                {
                    const auto outcome = run (exchange, playing, receiverFirst, pattern.sizes);
                    const auto where = ::testing::Message()
                        << pattern.name << (exchange == Exchange::externalSideChain ? ", side-chain" : ", link group")
                        << (playing ? ", playing" : ", stopped") << (receiverFirst ? ", receiver first" : "");
                    if (&pattern == &hostBlockPatterns[0])
                    {
                        constantDucking = outcome.duckingDb;
                        EXPECT_GT (constantDucking, 10.0f) << where;
                    }
                    EXPECT_EQ (outcome.onsetBlocks, 1) << where;
                    EXPECT_NEAR (outcome.duckingDb, constantDucking, 1.0f) << where;
                }
            }
}
