#include "RenderLoopTestSupport.h"

#include "platform/Log.h"

namespace
{
    constexpr int rate = 48000;

    // Level of a steady sine of peak amplitude `a` after the static curve (threshold -30 dB,
    // ratio 4): the reduction above the threshold is (L - T)(1 - 1/R).
    float staticCurveOutputDb (float a)
    {
        const float level = 20.0f * std::log10 (a);
        const float reduction = level > -30.0f ? (level + 30.0f) * (1.0f - 1.0f / 4.0f) : 0.0f;
        return level - reduction;
    }

    struct TestPlayHead : juce::AudioPlayHead
    {
        bool playing = false;
        int64_t time = 0;

        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setIsPlaying (playing);
            info.setTimeInSamples (time);
            return info;
        }
    };

    struct RenderLoop : ::testing::Test, RenderHarness
    {
    };
}

//==============================================================================
// The detector per mix mode, end to end through processBlock.

TEST_F (RenderLoop, MultiMonoCompressesEachChannelByItsOwnLevel)
{
    ASSERT_TRUE (configure (2, 2, 0));
    p.mixMode = (int) MixMode::multiMono;
    setStaticCurve();

    const int length = rate;
    const auto out = render ({ sine (length, 0.5f), sine (length, 0.01f) }, {}, { 512 });

    EXPECT_NEAR (peakDb (out[0], length / 2, length), staticCurveOutputDb (0.5f), 0.3f);
    EXPECT_NEAR (peakDb (out[1], length / 2, length), staticCurveOutputDb (0.01f), 0.05f);
    EXPECT_GT (p.mGainReduction.load(), 0.0f);  // state 0 carries the meter in this mode
}

TEST_F (RenderLoop, SumDetectorFollowsTheWeightedRootMeanSquare)
{
    ASSERT_TRUE (configure (2, 2, 0));
    p.mixMode = (int) MixMode::sum;
    setStaticCurve();

    const int length = rate;
    const auto loud = sine (length, 0.5f);
    const auto out = render ({ loud, loud }, {}, { 512 });

    // Two equal channels: the root mean square is the channel itself.
    EXPECT_NEAR (peakDb (out[0], length / 2, length), staticCurveOutputDb (0.5f), 0.3f);
    EXPECT_NEAR (peakDb (out[1], length / 2, length), staticCurveOutputDb (0.5f), 0.3f);
    EXPECT_NEAR (p.mGainReduction.load(), 18.0f, 0.3f);
}

TEST_F (RenderLoop, SumDetectorIgnoresAChannelWeightedZero)
{
    ASSERT_TRUE (configure (3, 3, 0));
    p.mixMode = (int) MixMode::sum;
    setStaticCurve();
    p.channel_weights[2] = 0.0f;

    const int length = rate / 2;
    const Signal silence ((size_t) length, 0.0f);
    const auto out = render ({ silence, silence, sine (length, 0.5f) }, {}, { 512 });

    EXPECT_NEAR (peakDb (out[2], length / 2, length), 20.0f * std::log10 (0.5f), 0.01f);
    EXPECT_EQ (p.mGainReduction.load(), 0.0f);
}

TEST_F (RenderLoop, SideChainDrivesTheGainAndSurvivesSharedBufferChannels)
{
    // Mono in, stereo out, mono side-chain: buffer channel 1 is both the side-chain input and
    // the right output, so the side-chain must be read before any output is cleared.
    ASSERT_TRUE (configure (1, 2, 1));
    p.mixMode = (int) MixMode::side;
    setStaticCurve();

    const int length = rate;
    const auto out = render ({ sine (length, 0.01f) }, { sine (length, 0.5f, 700.0) }, { 512 });

    const float reduction = 20.0f * std::log10 (0.5f) - staticCurveOutputDb (0.5f);
    EXPECT_NEAR (peakDb (out[0], length / 2, length), 20.0f * std::log10 (0.01f) - reduction, 0.3f);
    for (int i = 0; i < length; ++i)
        ASSERT_EQ (out[1][(size_t) i], out[0][(size_t) i]) << "right output is the processed mono channel, sample " << i;
}

TEST_F (RenderLoop, SideModeWithoutSideChainChannelsDetectsSilence)
{
    ASSERT_TRUE (configure (2, 2, 0));
    p.mixMode = (int) MixMode::side;
    setStaticCurve();

    const int length = rate / 2;
    const auto out = render ({ sine (length, 0.5f), sine (length, 0.5f) }, {}, { 512 });
    EXPECT_NEAR (peakDb (out[0], length / 2, length), 20.0f * std::log10 (0.5f), 0.01f);
}

TEST_F (RenderLoop, SideMidiVelocityBecomesAnImpulseOfTheNextBlock)
{
    ASSERT_TRUE (configure (1, 1, 0));
    p.mixMode = (int) MixMode::sideMidi;
    p.midi_receive_from_DAW = 1;
    p.midiSideChan = -1;
    setStaticCurve();

    const int n = 512;
    const auto noteOnInBlock = [] (int block, juce::MidiBuffer& midi)
    {
        if (block == 4)
            midi.addEvent (juce::MidiMessage::noteOn (3, 60, (juce::uint8) 64), 10);
    };
    const auto out = render ({ sine (8 * n, 0.25f) }, {}, { n }, false, noteOnInBlock);

    // Blocks before the note pass unchanged.
    const auto in = sine (8 * n, 0.25f);
    for (int i = 0; i < 4 * n; ++i)
        ASSERT_FLOAT_EQ (out[0][(size_t) i], in[(size_t) i]) << i;

    // The velocity, divided as a float, becomes sample 0 of the side detector: level
    // 20 log10(64/127) against -30 dB at ratio 4, applied at once (attack 0).
    const float level = 20.0f * std::log10 (64.0f / 127.0f);
    const float reduction = (level + 30.0f) * 0.75f;
    const float gain = in[(size_t) (4 * n + 5)] != 0.0f ? out[0][(size_t) (4 * n + 5)] / in[(size_t) (4 * n + 5)] : 0.0f;
    EXPECT_NEAR (20.0f * std::log10 (gain), -reduction, 0.05f);

    // The velocity was consumed: the side detector block of the next element is silent.
    EXPECT_EQ (p.mMidiSideVelocity.load(), 0);
}

TEST_F (RenderLoop, SideMidiDetectorHoldsExactlyTheVelocityImpulse)
{
    ASSERT_TRUE (configure (2, 2, 0));
    p.mixMode = (int) MixMode::sideMidi;
    p.midi_receive_from_DAW = 1;
    p.midiSideChan = 5;
    setTransparent();

    const int n = 256;
    const auto midiFor = [] (int block, juce::MidiBuffer& midi)
    {
        if (block == 0)
        {
            midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 0);  // channel 0: filtered out
            midi.addEvent (juce::MidiMessage::noteOn (6, 60, (juce::uint8) 127), 3);  // channel 5
        }
    };
    const Signal silence ((size_t) n, 0.0f);
    render ({ silence, silence }, {}, { n }, false, midiFor);

    const auto& element =
        p.mRingBuffer[(size_t) ((p.mRingWriteIndex + (int) p.mRingBuffer.size() - 1) % (int) p.mRingBuffer.size())];
    const float* side = element.mSamples.data() + 2 * n;
    EXPECT_EQ (side[0], 1.0f);
    for (int i = 1; i < n; ++i)
        ASSERT_EQ (side[i], 0.0f) << i;
}

TEST_F (RenderLoop, BypassPassesTheAudio)
{
    ASSERT_TRUE (configure (2, 2, 0));
    setStaticCurve();

    const int length = 4096;
    const auto a = sine (length, 0.9f), b = sine (length, 0.4f, 300.0);
    const auto out = render ({ a, b }, {}, { 512, 100, 1 }, true);
    EXPECT_EQ (out[0], a);
    EXPECT_EQ (out[1], b);
}

//==============================================================================
// Latency: an impulse comes out exactly getLatencySamples() later, whatever the host's
// block sizes, processed and bypassed.

namespace
{
    struct LatencyCase
    {
        const char* name;
        std::vector<int> sizes;
    };

    const LatencyCase latencyCases[] = {
        { "prepared size", { 512 } },
        { "half size", { 256 } },
        { "loop points and splits", { 512, 100, 412, 1, 33, 479, 512, 300 } },
        { "single samples", { 1 } },
        { "larger than announced", { 1500, 512, 2048, 7 } },
    };
}

TEST_F (RenderLoop, ImpulseDelayEqualsReportedLatencyAtAnyBlockSizes)
{
    for (const bool limiter : { false, true })
    {
        for (const bool bypassed : { false, true })
        {
            for (const auto& c : latencyCases)
            {
                RenderHarness h;
                ASSERT_TRUE (h.configure (2, 2, 0));
                h.setTransparent();
                h.setLookahead (100);  // 9 blocks of 512 at 48 kHz
                h.set (HardLimiterOn, limiter ? 1.0f : 0.0f);
                const int latency = h.p.getLatencySamples();
                ASSERT_EQ (latency, 9 * 512 + (limiter ? 100 : 0));

                const int at = 3001, length = 3001 + latency + 2000;
                const auto out =
                    h.render ({ impulse (length, at, 0.5f), impulse (length, at + 7, -0.25f) }, {}, c.sizes, bypassed);

                const auto where =
                    std::string (c.name) + (bypassed ? ", bypassed" : ", processed") + (limiter ? ", limiter" : "");
                EXPECT_EQ (firstNonZero (out[0]), at + latency) << where;
                EXPECT_NEAR (out[0][(size_t) (at + latency)], 0.5f, 1.0e-6f) << where;
                EXPECT_EQ (firstNonZero (out[1]), at + 7 + latency) << where;
            }
        }
    }
}

TEST_F (RenderLoop, ShortLimiterReleaseStillDelaysByTheReportedLatency)
{
    // A release of 9 samples makes the limiter's own delay 9 samples; the reported share is 100.
    ASSERT_TRUE (configure (1, 1, 0));
    setTransparent();
    set (HardLimiterOn, 1.0f);
    set (HardLimiterRelease, 0.001f);
    ASSERT_EQ (p.getLatencySamples(), 100);

    const int length = 4000;
    const auto out = render ({ impulse (length, 1000, 0.5f) }, {}, { 512, 77 });
    EXPECT_EQ (firstNonZero (out[0]), 1100);
}

// Delay lines read after a switch reach back into audio that came before it: the oldest of it
// must be there exactly.
TEST_F (RenderLoop, HistoryReadAfterASwitchIsTheInputDelayed)
{
    struct Case
    {
        const char* name;
        int lookaheadMs;
        int bypassedBetween;  // samples bypassed before the switch
        float releaseAfter;   // hard-limiter release from the switch on; < 0: bypass instead
        int fromEnd;          // the output after the switch repeats the input this far back
        int samples;          // ... for this many samples
    };
    const Case cases[] = {
        { "bypass after the longest look-ahead", 1000, 0, -1.0f, 93 * 512 + 100, 4096 },
        { "limiter release shortened: its output repeats", 0, 0, 0.001f, 191, 91 },
        { "release shortened after bypass: the bypassed output repeats", 0, 2048, 0.001f, 191, 91 },
    };

    for (const auto& c : cases)
    {
        RenderHarness h;
        ASSERT_TRUE (h.configure (2, 2, 0));
        h.setTransparent();
        if (c.lookaheadMs > 0)
            h.setLookahead (c.lookaheadMs);
        h.set (HardLimiterOn, 1.0f);
        h.set (HardLimiterRelease, 1.0f);

        juce::Random random (23);
        const int before = 100 * 512 + c.bypassedBetween, after = 4096;
        Signal in ((size_t) (before + after));
        for (auto& v : in)
            v = 0.5f * random.nextFloat() - 0.25f;
        const auto piece = [&] (int from, int to) {
            return Signals { Signal (in.begin() + from, in.begin() + to), Signal ((size_t) (to - from), 0.0f) };
        };

        h.render (piece (0, 100 * 512), {}, { 512 });
        h.render (piece (100 * 512, before), {}, { 512, 100 }, true);
        const bool bypass = c.releaseAfter < 0.0f;
        if (! bypass)
            h.set (HardLimiterRelease, c.releaseAfter);
        const auto out = h.render (piece (before, before + after), {}, { 512, 100, 33 }, bypass);

        for (int k = 0; k < c.samples; ++k)
            ASSERT_EQ (out[0][(size_t) k], in[(size_t) (before + k - c.fromEnd)]) << c.name << ", sample " << k;
    }
}

TEST_F (RenderLoop, PrepareStartsTheLimiterFromSilence)
{
    // Audio still held in the limiter when the host prepares again never comes out afterwards.
    ASSERT_TRUE (configure (1, 1, 0));
    setTransparent();
    set (HardLimiterOn, 1.0f);
    render ({ Signal (1000, 0.5f) }, {}, { 512 });
    p.prepareToPlay (sampleRate, preparedBlock);
    const auto out = render ({ Signal (2000, 0.0f) }, {}, { 512 });
    EXPECT_EQ (firstNonZero (out[0]), -1);
}

TEST_F (RenderLoop, LookaheadFillsWithSilenceThenDelaysWholeBlocks)
{
    // 35 ms at 512 samples and 48 kHz: three blocks.
    ASSERT_TRUE (configure (1, 1, 0));
    setTransparent();
    setLookahead (35);
    ASSERT_EQ (p.mLookaheadBlocks.load(), 3);

    const int n = 512;
    Signal in ((size_t) (5 * n));
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = 0.1f + 0.0001f * (float) i;
    const auto out = render ({ in }, {}, { n });

    for (int i = 0; i < 3 * n; ++i)
        ASSERT_EQ (out[0][(size_t) i], 0.0f) << i;
    for (int i = 3 * n; i < 5 * n; ++i)
        ASSERT_FLOAT_EQ (out[0][(size_t) i], in[(size_t) (i - 3 * n)]) << i;
}

TEST_F (RenderLoop, SingleSampleBlocksWithLongLookaheadKeepMemoryBounded)
{
    ASSERT_TRUE (configure (2, 2, 1, 1));
    setTransparent();
    setLookahead (1000);
    ASSERT_EQ (p.getLatencySamples(), 48000);

    size_t floats = 0;
    for (const auto& element : p.mRingBuffer)
        floats += element.mSamples.capacity() + element.mMeanSquares.capacity();
    // The ring holds about one second of audio per ring channel, not 2048 samples per element.
    EXPECT_LT (floats, (size_t) 48001 * 2 * 8);

    const int length = 48000 + 600;
    const auto out = render ({ impulse (length, 300, 0.5f), impulse (length, 0, 0.0f) }, { impulse (length, 0, 0.0f) }, { 1 });
    EXPECT_EQ (firstNonZero (out[0]), 48300);
}

//==============================================================================
// Faults the render loop must not have.

TEST_F (RenderLoop, ZeroSampleBlockIsCountedAndChangesNothing)
{
    ASSERT_TRUE (configure (2, 2, 0));
    const int before = p.mRenderCounter;
    const int writeIndex = p.mRingWriteIndex;

    juce::AudioBuffer<float> empty (2, 0);
    juce::MidiBuffer midi;
    p.processBlock (empty, midi);
    p.processBlockBypassed (empty, midi);

    EXPECT_EQ (p.mRenderCounter.load(), before + 1);
    EXPECT_EQ (p.mRingWriteIndex, writeIndex);
    EXPECT_EQ (p.mBlocksize.load(), 512);
}

TEST_F (RenderLoop, SharedDetectorStateIsResetLikeTheOthers)
{
    ASSERT_TRUE (configure (2, 2, 0));
    p.mixMode = (int) MixMode::multiMono;  // state 28 is not run by the detector in this mode
    auto& shared = p.mChannelStates[(size_t) MAX_CHANNELS];

    // Envelope reset after a Release change.
    shared.mReleaseStepDb = 3.0f;
    shared.mAttackStepDb = 2.0f;
    shared.mReleaseCountdown = 9;
    set (Release, 0.2f);
    juce::AudioBuffer<float> empty (2, 0);
    juce::MidiBuffer midi;
    p.processBlock (empty, midi);
    EXPECT_EQ (shared.mReleaseStepDb, 0.0f);
    EXPECT_EQ (shared.mAttackStepDb, 0.0f);
    EXPECT_EQ (shared.mReleaseCountdown, 0);

    // Transport start.
    TestPlayHead playHead;
    p.setPlayHead (&playHead);
    shared.mGrDb = 7.0f;
    shared.mFilterState[0] = 0.5f;
    playHead.playing = true;
    playHead.time = 48000;
    render ({ Signal (512, 0.0f), Signal (512, 0.0f) }, {}, { 512 });
    EXPECT_EQ (shared.mGrDb, 0.0f);
    EXPECT_EQ (shared.mFilterState[0], 0.0f);

    // Band-filter coefficients.
    set (BPFilterOn, 1.0f);
    set (BPFilterFreq, 0.1f);
    render ({ Signal (512, 0.0f), Signal (512, 0.0f) }, {}, { 512 });
    EXPECT_TRUE (shared.mFilterReady);
    p.setPlayHead (nullptr);
}

TEST_F (RenderLoop, FilterCoefficientsChangedWhileTheFilterIsOffAreUsedWhenItComesOn)
{
    ASSERT_TRUE (configure (1, 1, 0));
    set (BPFilterOn, 0.0f);
    set (BPFilterFreq, 0.1f);
    render ({ Signal (512, 0.0f) }, {}, { 512 });
    EXPECT_FALSE (p.mChannelStates[0].mFilterReady);

    set (BPFilterOn, 1.0f);
    render ({ Signal (512, 0.0f) }, {}, { 512 });
    EXPECT_TRUE (p.mChannelStates[0].mFilterReady);
}

TEST_F (RenderLoop, TrackNumberOutsideTheSlotsNeverSendsOrReceives)
{
    ASSERT_TRUE (configure (2, 2, 0));
    setStaticCurve();
    const auto loud = sine (512, 0.5f);

    // A valid slot sends; its audio passes through the ring's delay.
    p.trackNumber = 7;
    p.mixMode = (int) MixMode::sideChainSend;
    render ({ loud, loud }, {}, { 512 });
    EXPECT_EQ (p.mLinkStatus.load(), (int) LinkStatus::sent);

    for (const int track : { 8, 12, 1000, -3 })
    {
        // Not a slot: rendered like any instance without a partner.
        p.trackNumber = track;
        p.mixMode = (int) MixMode::sideChainSend;
        p.mLinkStatus = 0;
        const int before = p.mRingWriteIndex;
        render ({ loud, loud }, {}, { 512 });
        EXPECT_NE (p.mRingWriteIndex, before) << track;
        EXPECT_EQ (p.mLinkStatus.load(), 0) << track;

        p.mixMode = (int) MixMode::sideChainReceive;
        const auto out = render ({ loud, loud }, {}, { 512 });
        EXPECT_EQ (out[0], loud) << track;  // nothing received: the side detector stays silent
    }
}

TEST_F (RenderLoop, SideChainSendPassesAudioAndSilencesFurtherOutputs)
{
    ASSERT_TRUE (configure (1, 2, 1));
    p.mixMode = (int) MixMode::sideChainSend;
    p.trackNumber = 2;
    setStaticCurve();

    const int length = 4096;
    const auto in = sine (length, 0.9f);
    const auto out = render ({ in }, { sine (length, 0.7f) }, { 512 });
    EXPECT_EQ (out[0], in);
    EXPECT_EQ (peakDb (out[1], 0, length), -180.0f);
}

TEST_F (RenderLoop, InputMeterShowsTheLargestMagnitude)
{
    ASSERT_TRUE (configure (2, 2, 0));
    Signal a (512, 0.1f), b (512, 0.0f);
    a[17] = -0.8f;
    a[18] = 0.3f;
    b[5] = -0.25f;
    render ({ a, b }, {}, { 512 });
    EXPECT_FLOAT_EQ (p.mInputChannelLevels[0].load(), 0.8f);
    EXPECT_FLOAT_EQ (p.mInputChannelLevels[1].load(), 0.25f);
}

TEST_F (RenderLoop, BypassFeedsFurtherOutputsOnlyWithTheMainSignal)
{
    // Mono in, stereo out, side-chain: the side-chain shares buffer channel 1 with the right
    // output. Bypassed, the right output is the dry mono signal, never the side-chain.
    ASSERT_TRUE (configure (1, 2, 1));
    set (HardLimiterOn, 1.0f);
    const int latency = p.getLatencySamples();
    ASSERT_EQ (latency, 100);

    const int length = 3000;
    const auto in = impulse (length, 700, 0.5f);
    const auto out = render ({ in }, { sine (length, 0.8f) }, { 512, 99 }, true);
    EXPECT_EQ (firstNonZero (out[0]), 700 + latency);
    EXPECT_EQ (out[1], out[0]);
}

TEST_F (RenderLoop, OutputsBeyondTheProcessedChannelsAreSilent)
{
    // Two in, thirty out: outputs 2..27 carry the last processed channel, 28 and 29 nothing.
    ASSERT_TRUE (configure (2, 30, 0));
    setTransparent();
    const int length = 2048;
    for (const bool bypassed : { false, true })
    {
        Signal junk ((size_t) length, 0.0f);
        const auto out = render ({ sine (length, 0.3f), sine (length, 0.6f) }, {}, { 512 }, bypassed);
        EXPECT_EQ (out[27], out[1]) << bypassed;
        EXPECT_EQ (out[28], junk) << bypassed;
        EXPECT_EQ (out[29], junk) << bypassed;
    }
}

TEST_F (RenderLoop, NonFiniteInputNeverCrashesAndProcessingRecovers)
{
    ASSERT_TRUE (configure (2, 2, 1));
    p.mixMode = (int) MixMode::sum;
    setStaticCurve();
    Signal bad (512, std::numeric_limits<float>::quiet_NaN());
    bad[3] = std::numeric_limits<float>::infinity();
    render ({ bad, bad }, { bad }, { 512 });

    const int length = rate / 2;
    const auto out = render ({ sine (length, 0.5f), sine (length, 0.5f) }, { Signal ((size_t) length, 0.0f) }, { 512 });
    for (const float v : out[0])
        ASSERT_TRUE (std::isfinite (v));
}

TEST_F (RenderLoop, NonFiniteSideChainIsSilenceInTheListenOutput)
{
    // Side mode, listening to the filtered side-chain: a NaN or infinite side-chain sample is
    // silence, as on the main inputs, and the rest of the block and the next ones stay clean.
    for (int sides : { 1, 2 })
    {
        SCOPED_TRACE (sides);
        RenderHarness h;
        ASSERT_TRUE (h.configure (2, 2, sides));
        h.p.mixMode = (int) MixMode::side;
        h.set (BPFilterOn, 1.0f);
        h.set (BPFilterListenOn, 1.0f);

        Signals side ((size_t) sides, sine (2048, 0.5f, 300.0));
        side[0][100] = std::numeric_limits<float>::quiet_NaN();
        side[(size_t) sides - 1][700] = -std::numeric_limits<float>::infinity();
        const auto out = h.render ({ sine (2048, 0.1f), sine (2048, 0.1f) }, side, { 512 });
        float peak = 0.0f;
        for (const auto& channel : out)
            for (const float v : channel)
            {
                ASSERT_TRUE (std::isfinite (v));
                peak = std::max (peak, std::abs (v));
            }
        EXPECT_GT (peak, 0.01f);  // the filtered side-chain is heard
    }
}

//==============================================================================
// Transport, timestamps and the block-size log.

namespace
{
    struct CapturedLog : brisalto::platform::log::Sink
    {
        juce::StringArray lines;
        void write (int, const char* text, bool toStandardOutput) override
        {
            if (! toStandardOutput)
                lines.add (text);
        }
        int count (const juce::String& fragment) const
        {
            int n = 0;
            for (const auto& line : lines)
                n += line.contains (fragment) ? 1 : 0;
            return n;
        }
    };

    struct RenderLoopTransport : RenderLoop
    {
        CapturedLog log;
        TestPlayHead playHead;

        void SetUp() override
        {
            brisalto::platform::log::flush();
            brisalto::platform::log::setSink (&log);
            p.setPlayHead (&playHead);
        }

        void TearDown() override
        {
            p.setPlayHead (nullptr);
            brisalto::platform::log::flush();
            brisalto::platform::log::setSink (nullptr);
        }

        void block (int n)
        {
            render ({ Signal ((size_t) n, 0.0f) }, {}, { n });
            brisalto::platform::log::flush();
        }
    };
}

TEST_F (RenderLoopTransport, StartResetsMetersAndJumpsAreDetected)
{
    ASSERT_TRUE (configure (1, 1, 0));

    // Stopped: the process's stopped clock runs on by each block.
    block (512);
    const auto stoppedAt = p.mFreeRunningSamples;
    block (512);
    EXPECT_EQ (p.mFreeRunningSamples, stoppedAt + 512);

    // Start at 48000: start log, meters reset, and a jump from the stopped position.
    p.mMaxGainReduction = 9.0f;
    p.mLimiterHits = 4;
    p.mClipCount = 3;
    playHead.playing = true;
    playHead.time = 48000;
    block (512);
    EXPECT_EQ (log.count ("start playing timestamp : 48000"), 1);
    EXPECT_EQ (log.count ("going forward or backward"), 1);
    EXPECT_EQ (p.mMaxGainReduction.load(), 0.0f);
    EXPECT_EQ (p.mLimiterHits.load(), 0);
    EXPECT_EQ (p.mClipCount.load(), 0);
    EXPECT_EQ (p.mOutputPeakDb.load(), -144.0f);
    EXPECT_EQ (p.mPrevTimestamp, 48000);

    // Advancing normally: no jump.
    playHead.time = 48512;
    block (512);
    EXPECT_EQ (log.count ("going forward or backward"), 1);

    // A host whose position stands still: the free clock takes over, without a jump.
    block (512);
    EXPECT_EQ (p.mPrevTimestamp, p.mFreeRunningSamples);
    EXPECT_EQ (log.count ("going forward or backward"), 1);

    // A loop back while playing counts as a position that did not advance: free clock.
    const auto before = p.mFreeRunningSamples;
    playHead.time = 0;
    block (512);
    EXPECT_EQ (p.mFreeRunningSamples, before + 512);
    EXPECT_EQ (log.count ("going forward or backward"), 1);

    // Far ahead: a jump.
    const auto farAhead = p.mPrevTimestamp + 100 * 512;
    playHead.time = farAhead;
    block (512);
    EXPECT_EQ (log.count ("going forward or backward"), 2);
    EXPECT_EQ (p.mPrevTimestamp, farAhead);

    // Stopped again: the stopped clock advances by what the previous block covered.
    playHead.playing = false;
    block (512);
    const auto stoppedAgainAt = p.mFreeRunningSamples;
    block (256);
    EXPECT_EQ (p.mFreeRunningSamples, stoppedAgainAt + 512);
}

TEST_F (RenderLoopTransport, BlockSizeChangeIsLoggedOnceAndKeepsTheLookahead)
{
    ASSERT_TRUE (configure (1, 1, 0));
    p.mixMode = (int) MixMode::sum;
    setLookahead (100);
    const int blocks = p.mLookaheadBlocks;
    const int latency = p.getLatencySamples();

    block (512);
    block (256);
    block (256);
    EXPECT_EQ (log.count ("blocksize changed to 256  (was 512)  !!!!!!!!!!!  (mode 2)"), 1);
    EXPECT_EQ (p.mLookaheadBlocks.load(), blocks);
    EXPECT_EQ (p.getLatencySamples(), latency);

    // A Lookahead set after the change still counts in prepared blocks.
    set (Lookahead, 0.1f);
    EXPECT_EQ (p.mLookaheadBlocks.load(), blocks);
}
