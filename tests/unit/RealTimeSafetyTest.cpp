// Nothing on the render thread waits or posts, and the wrappers hear program switches and
// restores on the plug-in's message thread only.
//
// These tests run a JUCE message manager whose message thread is the test's thread, as in a
// plug-in wrapper, and drive its loop themselves; render threads are threads of their own.

#include "common/ExchangeTestSupport.h"
#include "RealTimeCounters.h"
#include "RenderLoopTestSupport.h"

#include "platform/Log.h"
#include "processor/render/RenderThread.h"
#include "processor/state/FactoryPrograms.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace
{
    // What a format wrapper hears, and on which thread.
    struct RecordingListener final : juce::AudioProcessorListener
    {
        std::atomic<int> offMessageThread { 0 };
        std::atomic<int> parameterCalls { 0 };
        std::atomic<int> programChanges { 0 };
        std::atomic<int> parameterInfoChanges { 0 };
        std::atomic<int> latencyChanges { 0 };
        std::vector<float> values = std::vector<float> (NUM_PARAMETERS, -1.0f);  // message thread only

        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
        {
            if (! noteThread())
                return;
            ++parameterCalls;
            if (index >= 0 && index < NUM_PARAMETERS)
                values[(size_t) index] = value;
        }

        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details) override
        {
            if (! noteThread())
                return;
            programChanges += details.programChanged ? 1 : 0;
            parameterInfoChanges += details.parameterInfoChanged ? 1 : 0;
            latencyChanges += details.latencyChanged ? 1 : 0;
        }

        bool noteThread()
        {
            if (juce::MessageManager::existsAndIsCurrentThread())
                return true;
            ++offMessageThread;
            return false;
        }
    };

    // A message manager whose message thread is the test's thread (which other tests of this
    // program may have rendered on: it renders no more).
    struct WithMessageThread : ::testing::Test
    {
        WithMessageThread() { brisalto::RenderThread::forgetCurrent(); }
        juce::ScopedJuceInitialiser_GUI juce;
    };

    // A render thread of its own: runs `work` there and the message loop here meanwhile.
    void onRenderThread (const std::function<void()>& work)
    {
        std::atomic<bool> finished { false };
        std::thread render (
            [&]
            {
                work();
                finished = true;
            });
        pumpMessagesUntil ([&] { return finished.load(); }, 120000);
        render.join();
    }

    void renderBlock (BrisaltoAudioProcessor& p, juce::AudioBuffer<float>& buffer, int& position)
    {
        juce::MidiBuffer midi;
        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                buffer.setSample (ch, i, 0.5f * std::sin (0.02f * (float) (position + i) * (float) (ch + 1)));
        position += buffer.getNumSamples();
        p.processBlock (buffer, midi);
    }

    // Every parameter somewhere new in each round, all of 0..1 covered over the rounds.
    float roundValue (int round, int index)
    {
        return std::fmod (0.37f * (float) round + 0.11f * (float) index, 1.0f);
    }

    // 340 ms of look-ahead in blocks of 512 at 48 kHz (10.67 ms): 31 blocks, plus the limiter's 100.
    constexpr int knownLatency = 31 * 512 + 100;

    void setKnownLatencyState (BrisaltoAudioProcessor& p)
    {
        p.setParameter (Lookahead, 0.34f);
        p.setParameter (Adpative_Thresh_On, 1.0f);
        p.setParameter (HardLimiterOn, 1.0f);
    }
}

//==============================================================================
TEST_F (WithMessageThread, SetParameterOnTheRenderThreadNeitherAllocatesNorWaitsNorPosts)
{
    RenderHarness h;
    ASSERT_TRUE (h.configure (8, 8, 0, 512));
    h.p.mixMode = (int) MixMode::multiMono;
    // A listener, as every wrapper installs: JUCE takes its listener lock for each host-display
    // update, so a latency set on the render thread would be counted.
    RecordingListener listener;
    h.p.addListener (&listener);

    brisalto::rtcheck::Counts counted;
    int blocks = 0;
    onRenderThread (
        [&]
        {
            juce::AudioBuffer<float> buffer (8, 512);
            int position = 0;
            // Warm-up: this thread has rendered and every parameter has been set here once.
            for (int b = 0; b < 8; ++b)
                renderBlock (h.p, buffer, position);
            for (int k = 0; k < NUM_PARAMETERS; ++k)
                h.p.setParameter (k, roundValue (0, k));
            renderBlock (h.p, buffer, position);

            brisalto::rtcheck::startCounting();
            for (int round = 1; round <= 40; ++round)
            {
                for (int k = 0; k < NUM_PARAMETERS; ++k)
                {
                    h.p.setParameter (k, roundValue (round, k));
                    if (k % 10 == 9)
                        renderBlock (h.p, buffer, position), ++blocks;
                }
            }
            setKnownLatencyState (h.p);
            renderBlock (h.p, buffer, position), ++blocks;
            counted = brisalto::rtcheck::stopCounting();
        });

    EXPECT_EQ (blocks, 121);
    EXPECT_EQ (counted.allocations, 0);
    if (brisalto::rtcheck::countsLocksAndPosts())
    {
        EXPECT_EQ (counted.lockWaits, 0);
        EXPECT_EQ (counted.posts, 0);
    }

    // The latency still comes true, set on the message thread by the hand-off.
    EXPECT_TRUE (pumpMessagesUntil ([&] { return h.p.getLatencySamples() == knownLatency; }, 30000));
    EXPECT_EQ (h.p.getLatencySamples(), knownLatency);
    EXPECT_GE (listener.latencyChanges.load(), 1);
    EXPECT_EQ (listener.offMessageThread.load(), 0);
    h.p.removeListener (&listener);
}

TEST_F (WithMessageThread, LatencyIsSetAtOnceOnTheMessageThreadAndLaterFromOthers)
{
    RenderHarness h;
    ASSERT_TRUE (h.configure (2, 2, 0, 512));
    setKnownLatencyState (h.p);
    EXPECT_EQ (h.p.getLatencySamples(), knownLatency);

    // Another thread's changes come true on the message thread, as they stand at the end.
    std::thread host (
        [&]
        {
            h.p.setParameter (HardLimiterOn, 0.0f);
            h.p.setParameter (Adpative_Thresh_On, 0.0f);
            h.p.setParameter (HardLimiterOn, 1.0f);
        });
    host.join();
    EXPECT_EQ (h.p.getLatencySamples(), knownLatency);  // not set on that thread
    EXPECT_TRUE (pumpMessagesUntil ([&] { return h.p.getLatencySamples() == 100; }, 30000));
    // Proves a negative: a later hand-off (the timer ticks every 50 ms) would have set another
    // latency by now.
    pumpMessagesFor (120);
    EXPECT_EQ (h.p.getLatencySamples(), 100);
}

//==============================================================================
// Program switches and restores as the wrappers hear them.

namespace
{
    std::vector<float> parametersOf (juce::AudioProcessor& p)
    {
        std::vector<float> values;
        for (int k = 0; k < NUM_PARAMETERS; ++k)
            values.push_back (p.getParameter (k));
        return values;
    }

    // The listener holds every value that moved from `start`, as the processor has it now.
    void expectMovedValuesTold (const RecordingListener& listener, juce::AudioProcessor& p, const std::vector<float>& start)
    {
        for (int k = 0; k < NUM_PARAMETERS; ++k)
        {
            if (p.getParameter (k) != start[(size_t) k])
            {
                EXPECT_EQ (listener.values[(size_t) k], p.getParameter (k)) << k;
            }
        }
    }
}

// A host's program choice arrives on the message thread inside the host's own call (which may
// hold the host's locks): the wrappers hear of it only after that call has returned.
TEST_F (WithMessageThread, ProgramSwitchOnTheMessageThreadNotifiesAfterTheCallReturns)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    RecordingListener listener;
    p.addListener (&listener);
    pumpPendingMessages();  // what construction posted runs before the counts start

    const auto start = parametersOf (p);
    p.setCurrentProgram (1);
    EXPECT_EQ (listener.parameterCalls.load(), 0);
    EXPECT_EQ (listener.programChanges.load(), 0);
    EXPECT_TRUE (pumpMessagesUntil ([&] { return listener.programChanges.load() > 0; }, 30000));
    // "drum : snare" moves 8 values (Smooth_Orig is at its default already).
    EXPECT_EQ (listener.parameterCalls.load(), 8);
    EXPECT_EQ (listener.programChanges.load(), 1);
    expectMovedValuesTold (listener, p, start);

    juce::MemoryBlock state;
    p.getStateInformation (state);
    p.setCurrentProgram (0);
    p.setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_EQ (listener.programChanges.load(), 1);
    EXPECT_TRUE (pumpMessagesUntil ([&] { return listener.programChanges.load() > 1; }, 30000));
    // Proves a negative: a third notification would have arrived by now.
    pumpMessagesFor (50);
    EXPECT_EQ (listener.programChanges.load(), 2);  // one for both
    expectMovedValuesTold (listener, p, start);
    EXPECT_EQ (listener.parameterInfoChanges.load(), 0);
    EXPECT_EQ (listener.offMessageThread.load(), 0);
    p.removeListener (&listener);
}

TEST_F (WithMessageThread, SwitchesAndRestoresOfAHostThreadArriveOnceOnTheMessageThread)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    RecordingListener listener;
    p.addListener (&listener);

    juce::MemoryBlock vocals;
    p.setCurrentProgram (5);
    p.getStateInformation (vocals);
    p.setCurrentProgram (0);
    EXPECT_TRUE (pumpMessagesUntil ([&] { return listener.programChanges.load() > 0; }, 30000));
    listener.parameterCalls = 0;
    listener.programChanges = 0;
    const auto start = parametersOf (p);

    std::thread host (
        [&]
        {
            p.setCurrentProgram (1);
            p.setCurrentProgram (3);
            p.setStateInformation (vocals.getData(), (int) vocals.getSize());
        });
    host.join();
    EXPECT_EQ (listener.parameterCalls.load(), 0);  // nothing on the host's thread

    EXPECT_TRUE (pumpMessagesUntil ([&] { return listener.programChanges.load() > 0; }, 30000));
    pumpMessagesFor (100);  // Proves a negative: a second notification would have arrived by now.
    // One notification for the three, with the values as they stand.
    EXPECT_EQ (listener.programChanges.load(), 1);
    EXPECT_LE (listener.parameterCalls.load(), NUM_PARAMETERS);
    EXPECT_EQ (listener.parameterInfoChanges.load(), 0);
    EXPECT_EQ (listener.offMessageThread.load(), 0);
    EXPECT_NEAR (listener.values[Threshold], 0.6f, 1.0e-6f);  // vocals : normal, -20 dB
    expectMovedValuesTold (listener, p, start);
    p.removeListener (&listener);
}

// A value the host sets between a switch and its notification stands: the notification
// does not send the switch's value back over it.
TEST_F (WithMessageThread, ValueMovedAfterASwitchIsNotSentBack)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    RecordingListener listener;
    p.addListener (&listener);
    pumpPendingMessages();  // what construction posted runs before the host's switch

    std::thread host (
        [&]
        {
            p.setCurrentProgram (1);
            p.setParameter (Threshold, 0.4f);  // the host's automation, straight after
        });
    host.join();
    EXPECT_TRUE (pumpMessagesUntil ([&] { return listener.programChanges.load() > 0; }, 30000));
    EXPECT_EQ (listener.values[Threshold], -1.0f);  // never told
    EXPECT_EQ (listener.values[Ratio], p.getParameter (Ratio));
    EXPECT_EQ (p.getParameter (Threshold), 0.4f);
    p.removeListener (&listener);
}

TEST_F (WithMessageThread, ProgramSwitchOnTheRenderThreadIsHandedToTheMessageThread)
{
    RenderHarness h;
    ASSERT_TRUE (h.configure (2, 2, 0, 512));
    RecordingListener listener;
    h.p.addListener (&listener);

    brisalto::rtcheck::Counts counted;
    onRenderThread (
        [&]
        {
            juce::AudioBuffer<float> buffer (2, 512);
            int position = 0;
            renderBlock (h.p, buffer, position);
            h.p.setCurrentProgram (0);
            renderBlock (h.p, buffer, position);

            brisalto::rtcheck::startCounting();
            h.p.setCurrentProgram (6);  // VST3 hosts send the program list's parameter in process()
            renderBlock (h.p, buffer, position);
            counted = brisalto::rtcheck::stopCounting();
        });
    EXPECT_EQ (counted.allocations, 0);
    if (brisalto::rtcheck::countsLocksAndPosts())
    {
        EXPECT_EQ (counted.lockWaits, 0);
        EXPECT_EQ (counted.posts, 0);
    }

    EXPECT_TRUE (pumpMessagesUntil (
        [&]
        {
            return listener.values[Adaptive_Relative_Amount] == h.p.getParameter (Adaptive_Relative_Amount)
                && listener.values[Threshold] == h.p.getParameter (Threshold);
        },
        30000));
    EXPECT_EQ (h.p.getCurrentProgram(), 6);
    EXPECT_NEAR (h.p.getParameter (Threshold), 0.6f, 1.0e-6f);
    float defaults[NUM_PARAMETERS];
    h.p.getProgramParameters (0, defaults);
    expectMovedValuesTold (listener, h.p, std::vector<float> (std::begin (defaults), std::end (defaults)));
    EXPECT_EQ (listener.parameterInfoChanges.load(), 0);
    EXPECT_EQ (listener.offMessageThread.load(), 0);
    h.p.removeListener (&listener);
}

// A linked member adopts on its render thread without waiting, allocating or posting; its
// wrappers hear the adopted value on the message thread.
TEST_F (WithMessageThread, AdoptionOnTheRenderThreadIsToldOnTheMessageThread)
{
    ScopedXdgFolders folders;
    SharedTransport transport;
    auto publisher = makeMember (transport, MixMode::sum);
    auto follower = makeMember (transport, MixMode::sum);
    publisher->p->groupSelectorChanged (2);
    follower->p->groupSelectorChanged (2);
    RecordingListener listener;
    follower->p->addListener (&listener);

    brisalto::rtcheck::Counts counted;
    onRenderThread (
        [&]
        {
            const auto cycles = [&] (int count)
            {
                for (int i = 0; i < count; ++i, transport.position += 512)
                    for (auto* m : { publisher.get(), follower.get() })
                    {
                        m->head.blockStart = transport.position;
                        m->renderBlock (transport.position, 512);
                    }
            };
            for (auto* m : { publisher.get(), follower.get() })
                m->output.reserve (1 << 16);
            cycles (4);
            publisher->p->setParameter (Ratio, 0.4f);  // a member's first publication is not adopted
            cycles (2);

            brisalto::rtcheck::startCounting();
            publisher->p->setParameter (Ratio, 0.6f);
            cycles (2);
            counted = brisalto::rtcheck::stopCounting();
        });
    EXPECT_FLOAT_EQ (follower->p->mRatio.load(), 6.5f);
    EXPECT_EQ (counted.allocations, 0);
    if (brisalto::rtcheck::countsLocksAndPosts())
    {
        EXPECT_EQ (counted.lockWaits, 0);
        EXPECT_EQ (counted.posts, 0);
    }
    EXPECT_TRUE (pumpMessagesUntil ([&] { return listener.values[Ratio] == follower->p->getParameter (Ratio); }, 30000));
    EXPECT_FLOAT_EQ (listener.values[Ratio], 0.6f);
    EXPECT_EQ (listener.offMessageThread.load(), 0);
    follower->p->removeListener (&listener);
}

TEST_F (WithMessageThread, PostedNotificationOutlivesNoInstance)
{
    ScopedXdgFolders folders;
    for (int i = 0; i < 5; ++i)
    {
        auto p = std::make_unique<BrisaltoAudioProcessor>();
        std::thread host ([&] { p->setCurrentProgram (1 + i); });
        host.join();
        p.reset();  // before the message loop runs the posted notification
    }
    pumpPendingMessages();  // the notifications posted for the instances that are gone run now
    SUCCEED();
}

//==============================================================================
// The log.

namespace
{
    struct LogLines final : brisalto::platform::log::Sink
    {
        void write (int, const char* text, bool) override
        {
            std::lock_guard<std::mutex> lock (mutex);
            lines.add (text);
        }
        int count (const juce::String& fragment, const juce::String& alsoFragment)
        {
            std::lock_guard<std::mutex> lock (mutex);
            int n = 0;
            for (const auto& line : lines)
                n += line.contains (fragment) && line.contains (alsoFragment) ? 1 : 0;
            return n;
        }
        std::mutex mutex;
        juce::StringArray lines;
    };
}

TEST (RealTimeLog, TooManyMainInputsAreLoggedOncePerLayout)
{
    LogLines log;
    brisalto::platform::log::flush();
    brisalto::platform::log::setSink (&log);
    {
        RenderHarness h;
        ASSERT_TRUE (h.configure (30, 2, 0, 256));
        const Signals in (30, sine (256 * 20, 0.3f));
        h.render (in, {}, { 256 });
        brisalto::platform::log::flush();
        EXPECT_EQ (log.count ("processBlock", "MAX_CHANNELS"), 1);

        ASSERT_TRUE (h.configure (32, 2, 0, 256));
        const Signals more (32, sine (256 * 20, 0.3f));
        h.render (more, {}, { 256 });
        h.render (more, {}, { 256 });
        brisalto::platform::log::flush();
        EXPECT_EQ (log.count ("processBlock", "MAX_CHANNELS"), 2);

        ASSERT_TRUE (h.configure (4, 4, 0, 256));
        h.render (Signals (4, sine (256 * 4, 0.3f)), {}, { 256 });
        ASSERT_TRUE (h.configure (30, 2, 0, 256));
        h.render (in, {}, { 256 });
        brisalto::platform::log::flush();
        EXPECT_EQ (log.count ("processBlock", "MAX_CHANNELS"), 3);
    }
    brisalto::platform::log::setSink (nullptr);
}
