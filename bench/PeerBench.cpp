// brisalto_peer_bench: the built VST3 against x42-darc's LV2, both hosted through JUCE as a DAW
// hosts them, in one run on one thread pinned to one core, taking turns block by block.
//
// Signal: seeded noise bursts of -11 and -35 dBFS RMS, 250 ms each, on every input; 48 kHz,
// 512-sample blocks. Ours in its 7.1.4 layout with the side-chain bus present and fed, darc in
// stereo. Only the process call is timed, by the thread's CPU time, and reported per sample and
// output channel. A benchmark: it prints figures and fails only when a plug-in cannot be loaded.
//
//   brisalto_peer_bench [--blocks N] [--cpu K] [--vst3 bundle] [--darc bundle] [--baseline bundle]
//
// --baseline adds the same configurations of another build of ours ("base ..."), taking turns
// with the rest: a before and after in one run.

#include "HostedParameters.h"
#include "PluginHost.h"
#include "StateChunkDigits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <random>
#include <sched.h>
#include <vector>

namespace
{
    using namespace brisalto::host;

    constexpr double sampleRate = 48000.0;
    constexpr int blockSize = 512;
    constexpr int burstSamples = 12000;  // 250 ms
    constexpr int signalBlocks = 375;    // 4 s, played in a loop
    constexpr int warmUpBlocks = 200;
    constexpr int blocksPerTurn = 16;
    constexpr const char* darcUri = "http://gareus.org/oss/lv2/darc#stereo";

    struct Options
    {
        int timedBlocks = 4000;  // per configuration
        int cpu = -1;            // the core the program starts on
        juce::File vst3 { BRISALTO_VST3_BUNDLE };
        juce::File darc { "/usr/lib/lv2/darc.lv2" };
        juce::File baseline;  // another build of ours, or none
    };

    // One normalised parameter value, by the name the host shows.
    struct Setting
    {
        const char* name;
        float value;
    };

    struct Configuration
    {
        const char* label;
        int mixMode;  // 0 keeps the state's own (sum by default)
        std::vector<Setting> settings;
    };

    const std::vector<Setting> multiMonoSettings { { "BPFilterOn", 1.0f },    { "BPFilterFreq", 0.005f },
                                                   { "BPFilterType", 0.2f },  { "Adpative_Thresh_On", 1.0f },
                                                   { "SoftLimiterOn", 1.0f }, { "AutoGainMakeupOn", 1.0f },
                                                   { "Threshold", 0.4f },     { "Ratio", 0.35f } };

    std::vector<Setting> everythingSettings()
    {
        auto settings = multiMonoSettings;
        settings.insert (settings.end(),
                         { { "Tube_Distort_On", 1.0f },
                           { "TubeClassA_Amount", 0.5f },
                           { "TubeClassAB_Amount", 0.5f },
                           { "DistortAmount", 0.5f },
                           { "Mix", 0.85f },
                           { "HardLimiterOn", 1.0f },
                           { "HardLimiterRelease", 1.0f } });
        return settings;
    }

    // Multi-mono with the auto gain off: no channel's envelope waits for the channel before.
    std::vector<Setting> withoutAutoGain()
    {
        auto settings = multiMonoSettings;
        for (auto& setting : settings)
            if (juce::String (setting.name) == "AutoGainMakeupOn")
                setting.value = 0.0f;
        return settings;
    }

    // Compressing: threshold half way (-30 dB), ratio 4:1 (darc's ratio runs from 1:1 at 0 to a
    // limiter at 1, as 1 - 1/ratio), the fastest attack and release.
    const std::vector<Setting> darcSettings {
        { "Threshold", 0.5f }, { "Ratio", 0.75f }, { "Attack Time", 0.0f }, { "Release Time", 0.0f }
    };

    using Signal = std::vector<std::vector<float>>;

    bool isLoud (int sample) noexcept
    {
        return (sample / burstSamples) % 2 == 0;
    }

    Signal makeSignal (int channels)
    {
        const float loud = std::pow (10.0f, -11.0f / 20.0f);
        const float quiet = std::pow (10.0f, -35.0f / 20.0f);
        const int length = signalBlocks * blockSize;
        Signal signal ((size_t) channels, std::vector<float> ((size_t) length));

        for (int ch = 0; ch < channels; ++ch)
        {
            std::mt19937 rng (1234u + (unsigned) ch);
            std::normal_distribution<float> noise (0.0f, 1.0f);
            for (int i = 0; i < length; ++i)
                signal[(size_t) ch][(size_t) i] = (isLoud (i) ? loud : quiet) * noise (rng);
        }
        return signal;
    }

    double threadCpuNs() noexcept
    {
        timespec t {};
        clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
        return (double) t.tv_sec * 1.0e9 + (double) t.tv_nsec;
    }

    bool pinToCore (int cpu)
    {
        cpu_set_t set;
        CPU_ZERO (&set);
        CPU_SET (cpu, &set);
        return pthread_setaffinity_np (pthread_self(), sizeof (set), &set) == 0;
    }

    // A prepared instance, its buffers and what its process calls cost.
    struct Contender
    {
        juce::String label;
        std::unique_ptr<juce::AudioPluginInstance> plugin;
        juce::AudioBuffer<float> buffer;
        juce::MidiBuffer midi;
        int outputs = 0;
        int position = 0;
        double cpuNs = 0.0;
        double outputSquares[2] {};  // what came out in the loud and the quiet bursts
        juce::int64 timedBlocks = 0;
        std::vector<double> turnNsPerSample;
        std::vector<Setting> settings;  // what the configuration sets

        void loadNextBlock (const Signal& signal)
        {
            for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
                buffer.copyFrom (ch, 0, signal[(size_t) ch].data() + (size_t) position * blockSize, blockSize);
            position = (position + 1) % signalBlocks;
            midi.clear();
        }

        double processTimed (const Signal& signal)
        {
            loadNextBlock (signal);
            const double start = threadCpuNs();
            plugin->processBlock (buffer, midi);
            const double ns = threadCpuNs() - start;
            // The output is the input of the plug-in's latency ago.
            const int length = signalBlocks * blockSize;
            const int first =
                ((position + signalBlocks - 1) % signalBlocks * blockSize - plugin->getLatencySamples() % length + length)
                % length;
            for (int ch = 0; ch < outputs; ++ch)
            {
                const float* out = buffer.getReadPointer (ch);
                for (int i = 0; i < blockSize; ++i)
                    outputSquares[isLoud ((first + i) % length) ? 0 : 1] += (double) out[i] * out[i];
            }
            return ns;
        }

        // How far the loud bursts come out above the quiet ones (24 dB going in).
        double outputSpanDb() const
        {
            return 10.0 * std::log10 (std::max (1.0e-30, outputSquares[0]) / std::max (1.0e-30, outputSquares[1]));
        }

        void takeTurn (const Signal& signal, int blocks)
        {
            double ns = 0.0;
            for (int b = 0; b < blocks; ++b)
                ns += processTimed (signal);
            cpuNs += ns;
            timedBlocks += blocks;
            turnNsPerSample.push_back (ns / ((double) blocks * blockSize * outputs));
        }

        double meanNsPerSample() const
        {
            return cpuNs / ((double) juce::jmax<juce::int64> (1, timedBlocks) * blockSize * outputs);
        }

        double medianTurnNsPerSample() const
        {
            auto turns = turnNsPerSample;
            if (turns.empty())
                return 0.0;
            std::nth_element (turns.begin(), turns.begin() + (long) turns.size() / 2, turns.end());
            return turns[turns.size() / 2];
        }
    };

    juce::Result applySettings (juce::AudioPluginInstance& plugin, const std::vector<Setting>& settings, juce::String& shown)
    {
        for (const auto& setting : settings)
        {
            auto* parameter = findParameter (plugin, setting.name);
            if (parameter == nullptr)
                return juce::Result::fail (juce::String ("no parameter ") + setting.name);
            setParameterAsHost (*parameter, setting.value);
            shown << " " << setting.name << "=" << parameter->getText (parameter->getValue(), 32);
        }
        return juce::Result::ok();
    }

    bool allSettingsHold (std::vector<Contender>& contenders)
    {
        for (auto& contender : contenders)
            for (const auto& setting : contender.settings)
                if (auto* parameter = findParameter (*contender.plugin, setting.name);
                    parameter == nullptr || std::abs (parameter->getValue() - setting.value) > 1.0e-4f)
                {
                    std::fprintf (stderr, "brisalto_peer_bench: %s: %s reads %g, not %g\n", contender.label.toRawUTF8(),
                                  setting.name, parameter != nullptr ? (double) parameter->getValue() : -1.0,
                                  (double) setting.value);
                    return false;
                }
        return true;
    }

    // Every bus of ours in 7.1.4, as a DAW negotiates it on such a track: the buses start stereo.
    bool useWideLayout (juce::AudioPluginInstance& plugin)
    {
        auto layout = plugin.getBusesLayout();
        for (auto* buses : { &layout.inputBuses, &layout.outputBuses })
            for (auto& bus : *buses)
                bus = juce::AudioChannelSet::create7point1point4();
        return plugin.setBusesLayout (layout);
    }

    juce::Result prepare (Contender& contender)
    {
        auto& plugin = *contender.plugin;
        plugin.setRateAndBufferSizeDetails (sampleRate, blockSize);
        plugin.prepareToPlay (sampleRate, blockSize);
        contender.outputs = plugin.getMainBusNumOutputChannels();
        const int channels = juce::jmax (plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels());
        if (contender.outputs <= 0)
            return juce::Result::fail (contender.label + " has no outputs");
        contender.buffer.setSize (channels, blockSize);
        return juce::Result::ok();
    }

    juce::Result loadOurs (PluginHost& host, const juce::File& bundle, const juce::String& label,
                           const Configuration& configuration, Contender& contender)
    {
        auto loaded = host.load (PluginFormatKind::vst3, bundle, sampleRate, blockSize);
        if (loaded.instance == nullptr)
            return juce::Result::fail (loaded.error);
        contender.label = label;
        contender.plugin = std::move (loaded.instance);
        if (! useWideLayout (*contender.plugin))
            return juce::Result::fail (label + " does not take the 7.1.4 layout with its side-chain");
        if (auto result = prepare (contender); result.failed())
            return result;

        // The mode lives in the state chunk; restoring it resets the parameters, so it comes first.
        if (configuration.mixMode != 0)
            if (auto result = setStateDigits (*contender.plugin, { { "mixMode", configuration.mixMode } }); result.failed())
                return result;

        juce::String shown;
        contender.settings = configuration.settings;
        if (auto result = applySettings (*contender.plugin, configuration.settings, shown); result.failed())
            return result;

        const auto& plugin = *contender.plugin;
        std::printf ("%-16s %d main in + %d side-chain in, %d out, mode %d:%s\n", label.toRawUTF8(),
                     plugin.getMainBusNumInputChannels(), plugin.getTotalNumInputChannels() - plugin.getMainBusNumInputChannels(),
                     contender.outputs, configuration.mixMode == 0 ? 2 : configuration.mixMode,
                     shown.isEmpty() ? " defaults" : shown.toRawUTF8());
        return juce::Result::ok();
    }

    juce::Result loadDarc (PluginHost& host, const Options& options, Contender& contender)
    {
        auto loaded = host.loadLv2Plugin (options.darc, darcUri, sampleRate, blockSize);
        if (loaded.instance == nullptr)
            return juce::Result::fail (loaded.error);
        contender.label = "darc";
        contender.plugin = std::move (loaded.instance);

        // After preparing: JUCE's LV2 hosting sets the ports back to their defaults when it prepares.
        if (auto result = prepare (contender); result.failed())
            return result;
        juce::String shown;
        contender.settings = darcSettings;
        if (auto result = applySettings (*contender.plugin, darcSettings, shown); result.failed())
            return result;
        std::printf ("%-16s %d in, %d out:%s\n", "darc", contender.plugin->getTotalNumInputChannels(), contender.outputs,
                     shown.toRawUTF8());
        return juce::Result::ok();
    }

    bool parseOptions (int argc, char** argv, Options& options)
    {
        for (int i = 1; i + 1 < argc; i += 2)
        {
            const juce::String key (argv[i]), value (argv[i + 1]);
            if (key == "--blocks")
                options.timedBlocks = juce::jlimit (blocksPerTurn, 1000000, value.getIntValue());
            else if (key == "--cpu")
                options.cpu = value.getIntValue();
            else if (key == "--vst3")
                options.vst3 = juce::File::getCurrentWorkingDirectory().getChildFile (value);
            else if (key == "--baseline")
                options.baseline = juce::File::getCurrentWorkingDirectory().getChildFile (value);
            else if (key == "--darc")
                options.darc = juce::File::getCurrentWorkingDirectory().getChildFile (value);
            else
                return false;
        }
        return argc % 2 == 1;
    }

    // Every contender in turn, blocksPerTurn blocks each, the order rotating from turn to turn.
    void run (std::vector<Contender>& contenders, const Signal& signal, int timedBlocks)
    {
        for (auto& contender : contenders)
            for (int b = 0; b < warmUpBlocks; ++b)
                contender.processTimed (signal);

        const int turns = timedBlocks / blocksPerTurn;
        for (int turn = 0; turn < turns; ++turn)
            for (size_t k = 0; k < contenders.size(); ++k)
                contenders[(k + (size_t) turn) % contenders.size()].takeTurn (signal, blocksPerTurn);
    }

    double rmsDbOf (const Signal& signal)
    {
        double squares = 0.0, samples = 0.0;
        for (const auto& channel : signal)
            for (float v : channel)
                squares += (double) v * v;
        for (const auto& channel : signal)
            samples += (double) channel.size();
        return 10.0 * std::log10 (squares / samples);
    }

    void report (const std::vector<Contender>& contenders, double inputRmsDb)
    {
        const auto& darc = contenders.front();
        const double darcMean = darc.meanNsPerSample(), darcMedian = darc.medianTurnNsPerSample();
        std::printf ("\ninput %.1f dBFS RMS; thread CPU time of the process call, ns per sample and output channel\n",
                     inputRmsDb);
        std::printf ("%-16s %10s %8s %14s %8s %14s\n", "", "mean", "x darc", "median turn", "x darc", "loud - quiet");
        for (const auto& contender : contenders)
        {
            const double mean = contender.meanNsPerSample(), median = contender.medianTurnNsPerSample();
            std::printf ("%-16s %10.2f %8.2f %14.2f %8.2f %11.1f dB\n", contender.label.toRawUTF8(), mean, mean / darcMean,
                         median, median / darcMedian, contender.outputSpanDb());
        }
    }
}

int main (int argc, char** argv)
{
    Options options;
    if (! parseOptions (argc, argv, options))
    {
        std::fprintf (stderr,
                      "usage: brisalto_peer_bench [--blocks N] [--cpu K] [--vst3 bundle] [--darc bundle] [--baseline bundle]\n");
        return 2;
    }

    PluginHost host;
    const std::vector<Configuration> configurations {
        { "defaults", 0, {} },
        { "multi-mono", 1, multiMonoSettings },
        { "everything", 1, everythingSettings() },
        { "multi-mono, auto gain off", 1, withoutAutoGain() },
    };

    const bool withBaseline = options.baseline != juce::File();
    std::vector<Contender> contenders (1 + configurations.size() * (withBaseline ? 2 : 1));
    auto result = loadDarc (host, options, contenders[0]);
    for (size_t k = 0; k < configurations.size() && result.wasOk(); ++k)
        result = loadOurs (host, options.vst3, configurations[k].label, configurations[k], contenders[k + 1]);
    for (size_t k = 0; k < configurations.size() && result.wasOk() && withBaseline; ++k)
        result = loadOurs (host, options.baseline, juce::String ("base ") + configurations[k].label, configurations[k],
                           contenders[1 + configurations.size() + k]);
    if (result.failed())
    {
        std::fprintf (stderr, "brisalto_peer_bench: %s\n", result.getErrorMessage().toRawUTF8());
        return 1;
    }
    // What the formats posted while loading and restoring reaches the plug-ins now; every
    // parameter must still read what was set.
    host.pumpMessages (200);
    if (! allSettingsHold (contenders))
    {
        std::fprintf (stderr, "brisalto_peer_bench: the settings do not hold\n");
        return 1;
    }

    const int cpu = options.cpu >= 0 ? options.cpu : sched_getcpu();
    if (! pinToCore (cpu))
        std::fprintf (stderr, "brisalto_peer_bench: could not pin to core %d; running unpinned\n", cpu);

    int channels = 0;
    for (const auto& contender : contenders)
        channels = juce::jmax (channels, contender.buffer.getNumChannels());
    const auto signal = makeSignal (channels);

    std::printf ("core %d, 48 kHz, %d-sample blocks, %d timed blocks per configuration in turns of %d\n", cpu, blockSize,
                 options.timedBlocks / blocksPerTurn * blocksPerTurn, blocksPerTurn);
    run (contenders, signal, options.timedBlocks);
    report (contenders, rmsDbOf (signal));

    for (auto& contender : contenders)
        contender.plugin->releaseResources();
    return 0;
}
