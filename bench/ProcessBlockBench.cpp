// processBlock at 48 kHz, blocks of 512 (S6: 64), 28 channels in (S4: 26 mains and a
// side-chain of 2) and as many out as mains, on a seeded signal that really compresses.
// Reports the mean cost per sample and processed channel and the worst block against the
// block's real-time budget.
//
//   brisalto_bench [--benchmark_filter=S1]

#include "processor/PluginProcessor.h"
#include "tests/unit/ReferenceLimiter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <ctime>
#include <vector>

namespace
{
    constexpr double sampleRate = 48000.0;
    constexpr int blockSize = 512;
    constexpr int channels = 28;
    constexpr int signalBlocks = 400;  // about 4.3 s, played in a loop
    constexpr int warmUpBlocks = 200;

    // Bursts of noise and tones around -18 dBFS RMS, with occasional peaks over 0 dBFS.
    std::vector<std::vector<float>> makeSignal (float gainDb, unsigned seed)
    {
        std::mt19937 rng (seed);
        std::normal_distribution<float> noise (0.0f, 1.0f);
        std::uniform_real_distribution<float> uni (0.0f, 1.0f);
        const float rms = std::pow (10.0f, -18.0f / 20.0f);
        const float gain = std::pow (10.0f, gainDb / 20.0f);
        const int length = signalBlocks * blockSize;

        std::vector<std::vector<float>> signal ((size_t) channels, std::vector<float> ((size_t) length));
        for (int ch = 0; ch < channels; ++ch)
        {
            auto& x = signal[(size_t) ch];
            const double hz = 80.0 + 40.0 * ch;
            int i = 0;
            while (i < length)
            {
                const int burst = 2400 + (int) (uni (rng) * 9600.0f);
                const bool tone = uni (rng) < 0.5f;
                const float level = rms * (0.5f + 1.5f * uni (rng));  // -24 .. -8.5 dBFS
                for (int k = 0; k < burst && i < length; ++k, ++i)
                {
                    float v = tone ? level * std::sqrt (2.0f) * (float) std::sin (2.0 * M_PI * hz * i / sampleRate)
                                   : level * noise (rng);
                    if (uni (rng) < 0.0005f)
                        v = (v < 0.0f ? -1.0f : 1.0f) * (1.05f + 0.4f * uni (rng));  // over 0 dBFS
                    x[(size_t) i] = v * gain;
                }
                // A short pause between bursts lets the release run.
                const int pause = (int) (uni (rng) * 1200.0f);
                for (int k = 0; k < pause && i < length; ++k, ++i)
                    x[(size_t) i] = 0.0f;
            }
        }
        return signal;
    }

    double threadCpuNs()
    {
        timespec t {};
        clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
        return (double) t.tv_sec * 1.0e9 + (double) t.tv_nsec;
    }

    // Keeps the processor's user-preset folders away from the user's own.
    void useTemporaryFolders()
    {
        static const juce::File root = []
        {
            auto f = juce::File::createTempFile ("brisalto-bench");
            f.createDirectory();
            ::setenv ("XDG_CONFIG_HOME", f.getChildFile ("config").getFullPathName().toRawUTF8(), 1);
            ::setenv ("XDG_DATA_HOME", f.getChildFile ("data").getFullPathName().toRawUTF8(), 1);
            return f;
        }();
        juce::ignoreUnused (root);
    }

    // What a scenario renders: the settings level (0 defaults in sum mode, 1 detector work in
    // multi-mono, 2 with saturation and Mix 70, 3 with the 200 ms hard limiter and a hotter
    // input), the mode, the host's block size and what changes between blocks.
    struct Scenario
    {
        int level = 0;
        MixMode mode = MixMode::multiMono;
        int hostBlock = blockSize;
        int sideChannels = 0;          // side-chain bus channels, taken from the 28 inputs
        bool notes = false;            // a note-on every fourth block (side MIDI)
        bool automateRelease = false;  // HardLimiterRelease moves on every block
        bool autoGain = true;          // off: no channel's envelope waits for the channel before
    };

    void configure (BrisaltoAudioProcessor& p, const Scenario& s)
    {
        const int mains = channels - s.sideChannels;
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (mains));
        layout.inputBuses.add (s.sideChannels > 0 ? juce::AudioChannelSet::discreteChannels (s.sideChannels)
                                                  : juce::AudioChannelSet::disabled());
        layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (mains));
        p.setBusesLayout (layout);
        p.prepareToPlay (sampleRate, s.hostBlock);

        if (s.level == 0)
            return;  // defaults: sum mode

        p.mixMode = (int) s.mode;
        p.midi_receive_from_DAW = s.notes ? 1 : 0;
        p.setParameter (BPFilterOn, 1.0f);
        p.setParameter (BPFilterType, 0.2f);               // high-pass at 100 Hz: the
        p.setParameter (BPFilterFreq, 100.0f / 20000.0f);  // detector hears most of the signal
        p.setParameter (Adpative_Thresh_On, 1.0f);         // look-ahead (340 ms by default)
        p.setParameter (SoftLimiterOn, 1.0f);
        p.setParameter (AutoGainMakeupOn, s.autoGain ? 1.0f : 0.0f);

        if (s.level == 1)
            return;

        p.setParameter (Tube_Distort_On, 1.0f);
        p.setParameter (TubeClassA_Amount, 0.5f);
        p.setParameter (TubeClassAB_Amount, 0.5f);
        p.setParameter (DistortAmount, 0.5f);
        p.setParameter (Mix, 70.0f / 200.0f + 0.5f);

        if (s.level == 2)
            return;

        p.setParameter (HardLimiterOn, 1.0f);
        p.setParameter (HardLimiterRelease, 1.0f);  // 200 ms
    }

    void runScenario (benchmark::State& state, const Scenario& scenario)
    {
        useTemporaryFolders();
        auto processor = std::make_unique<BrisaltoAudioProcessor>();
        auto& p = *processor;
        configure (p, scenario);

        const int n = scenario.hostBlock;
        const int blocksInSignal = signalBlocks * blockSize / n;
        const auto signal = makeSignal (scenario.level >= 3 ? 6.0f : 0.0f, 1234u);
        juce::AudioBuffer<float> buffer (channels, n);
        juce::MidiBuffer midi;
        int position = 0;
        int64_t blocks = 0;
        const bool trace = std::getenv ("BRISALTO_BENCH_TRACE") != nullptr;

        // Everything that is not the plug-in's work happens here, outside the timed call.
        const auto loadNextBlock = [&]
        {
            for (int ch = 0; ch < channels; ++ch)
                buffer.copyFrom (ch, 0, signal[(size_t) ch].data() + (size_t) position * (size_t) n, n);
            position = (position + 1) % blocksInSignal;
            midi.clear();
            if (scenario.notes && blocks % 4 == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) (40 + blocks % 80)), 0);
            if (scenario.automateRelease)
                p.setParameter (HardLimiterRelease, 0.5f + 0.5f * (float) (blocks % 16) / 15.0f);  // 100 to 200 ms
        };

        for (int b = 0; b < warmUpBlocks * blockSize / n; ++b, ++blocks)
        {
            loadNextBlock();
            p.processBlock (buffer, midi);
        }

        // Wall time and the thread's CPU time of every block: on a loaded machine the second
        // leaves out the time the thread waited for a core (a host's audio thread would not).
        double totalNs = 0.0, worstNs = 0.0, totalCpuNs = 0.0, worstCpuNs = 0.0;
        int64_t timed = 0;
        for (auto _ : state)
        {
            loadNextBlock();
            const double cpuStart = threadCpuNs();
            const auto start = std::chrono::steady_clock::now();
            p.processBlock (buffer, midi);
            const auto end = std::chrono::steady_clock::now();
            const double cpuNs = threadCpuNs() - cpuStart;
            benchmark::DoNotOptimize (buffer.getReadPointer (0));
            const double ns = (double) std::chrono::duration_cast<std::chrono::nanoseconds> (end - start).count();
            totalNs += ns;
            totalCpuNs += cpuNs;
            if (ns > worstNs && trace)
                std::fprintf (stderr, "worst so far: block %lld  %.1f us\n", (long long) timed, ns / 1000.0);
            worstNs = std::max (worstNs, ns);
            worstCpuNs = std::max (worstCpuNs, cpuNs);
            ++timed;
            ++blocks;
        }

        const int processed = channels - scenario.sideChannels;
        const double budgetNs = n / sampleRate * 1.0e9;
        state.counters["ns_per_sample_ch"] = totalNs / ((double) timed * n * processed);
        state.counters["cpu_ns_per_sample_ch"] = totalCpuNs / ((double) timed * n * processed);
        state.counters["worst_block_us"] = worstNs / 1000.0;
        state.counters["worst_block_pct_of_budget"] = 100.0 * worstNs / budgetNs;
        state.counters["worst_block_cpu_pct_of_budget"] = 100.0 * worstCpuNs / budgetNs;
        state.counters["mean_block_pct_of_budget"] = 100.0 * totalNs / (double) timed / budgetNs;
        state.counters["gain_reduction_db"] = (double) (float) p.mGainReduction;
        state.SetItemsProcessed (timed * n * processed);
    }
}

static void S0_defaults_sum (benchmark::State& s)
{
    runScenario (s, { 0, MixMode::sum });
}
static void S1_multiMono_filter_lookahead_softLimiter_autoGain (benchmark::State& s)
{
    runScenario (s, { 1 });
}
static void S2_S1_saturation_mix70 (benchmark::State& s)
{
    runScenario (s, { 2 });
}
static void S3_S2_hardLimiter200ms_plus6dB (benchmark::State& s)
{
    runScenario (s, { 3 });
}
static void S4_S1_side_26mains_2sideChain (benchmark::State& s)
{
    runScenario (s, { 1, MixMode::side, blockSize, 2 });
}
static void S5_S1_sideMidi_notes (benchmark::State& s)
{
    runScenario (s, { 1, MixMode::sideMidi, blockSize, 0, true });
}
static void S6_S3_hostBlocks64 (benchmark::State& s)
{
    runScenario (s, { 3, MixMode::multiMono, 64 });
}
static void S7_S3_limiterReleaseAutomatedEveryBlock (benchmark::State& s)
{
    runScenario (s, { 3, MixMode::multiMono, blockSize, 0, false, true });
}
static void S8_S1_autoGainOff (benchmark::State& s)
{
    runScenario (s, { 1, MixMode::multiMono, blockSize, 0, false, false, false });
}

BENCHMARK (S0_defaults_sum)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S1_multiMono_filter_lookahead_softLimiter_autoGain)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S2_S1_saturation_mix70)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S3_S2_hardLimiter200ms_plus6dB)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S4_S1_side_26mains_2sideChain)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S5_S1_sideMidi_notes)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S6_S3_hostBlocks64)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S7_S3_limiterReleaseAutomatedEveryBlock)->Unit (benchmark::kMicrosecond)->MinTime (2.0);
BENCHMARK (S8_S1_autoGainOff)->Unit (benchmark::kMicrosecond)->MinTime (2.0);

// The hard limiter alone at 200 ms release on one hot channel (the S3 signal): the
// constant-time limiter against the straightforward one that rewrites its release queue on
// every loud sample.
static int hitsOf (const zolt_tools::Limiter& l)
{
    return l.mHits;
}
static int hitsOf (const ReferenceLimiter& l)
{
    return l.hits;
}

template <typename LimiterType>
static void runLimiter (benchmark::State& state, LimiterType& limiter)
{
    const auto signal = makeSignal (6.0f, 1234u);
    const auto& source = signal[3];
    std::vector<float> block ((size_t) blockSize);
    int position = 0;
    int64_t samples = 0, loud = 0;
    for (auto _ : state)
    {
        std::copy_n (source.data() + (size_t) position * blockSize, blockSize, block.data());
        position = (position + 1) % signalBlocks;
        limiter.process (block.data(), blockSize);
        benchmark::DoNotOptimize (block.data());
        samples += blockSize;
        loud += hitsOf (limiter);
    }
    state.counters["loud_samples_pct"] = 100.0 * (double) loud / (double) std::max<int64_t> (1, samples);
    state.counters["ns_per_sample"] =
        benchmark::Counter ((double) samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

static void Limiter200ms_constantTime (benchmark::State& s)
{
    zolt_tools::Limiter limiter;
    limiter.reserveForRelease (9600, 100);
    limiter.resize (9600, 100);
    runLimiter (s, limiter);
}

static void Limiter200ms_reference (benchmark::State& s)
{
    ReferenceLimiter limiter;
    limiter.resize (9600, 100);
    runLimiter (s, limiter);
}

BENCHMARK (Limiter200ms_constantTime)->Unit (benchmark::kMicrosecond);
BENCHMARK (Limiter200ms_reference)->Unit (benchmark::kMicrosecond);

BENCHMARK_MAIN();
