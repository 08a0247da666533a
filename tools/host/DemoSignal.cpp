#include "DemoSignal.h"
#include "DawSession.h"

namespace brisalto::host
{

    double gainToDbfs (double gain) noexcept
    {
        return gain > 1.0e-10 ? 20.0 * std::log10 (gain) : -144.0;
    }

    void LevelMeter::add (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept
    {
        numChannels = juce::jmin (numChannels, buffer.getNumChannels());
        numSamples = juce::jmin (numSamples, buffer.getNumSamples());

        for (int channel = 0; channel < numChannels; ++channel)
        {
            const auto* samples = buffer.getReadPointer (channel);
            for (int i = 0; i < numSamples; ++i)
            {
                const double x = samples[i];
                if (! std::isfinite (x))
                {
                    nonFinite = true;
                    continue;
                }
                peak = juce::jmax (peak, std::abs (x));
                sumOfSquares += x * x;
            }
        }
        count += (juce::int64) numChannels * numSamples;
    }

    SignalLevel LevelMeter::level() const noexcept
    {
        SignalLevel result;
        result.peakDb = gainToDbfs (peak);
        result.rmsDb = count > 0 ? gainToDbfs (std::sqrt (sumOfSquares / (double) count)) : -144.0;
        return result;
    }

    //==============================================================================
    DemoSignalGenerator::DemoSignalGenerator (double rate)
        : sampleRate (rate > 0.0 ? rate : 48000.0)
    {
    }

    void DemoSignalGenerator::render (juce::AudioBuffer<float>& buffer, int numChannels, int numSamples)
    {
        constexpr double toneHz = 220.0;
        constexpr double quietSeconds = 0.5;  // -30 dBFS tone first
        constexpr double toneGain = 0.7;      // about -3 dBFS
        constexpr double quietGain = 0.0316;  // about -30 dBFS
        constexpr double burstPeriod = 0.5;   // a noise burst twice a second...
        constexpr double burstLength = 0.1;   // ...lasting 100 ms
        constexpr double burstGain = 0.3;

        numChannels = juce::jmin (numChannels, buffer.getNumChannels());

        for (int i = 0; i < numSamples; ++i, ++position)
        {
            const double t = (double) position / sampleRate;
            const double tone = std::sin (juce::MathConstants<double>::twoPi * toneHz * t);
            const bool quiet = t < quietSeconds;
            const bool burst = ! quiet && std::fmod (t - quietSeconds, burstPeriod) < burstLength;

            for (int channel = 0; channel < numChannels; ++channel)
            {
                double x = (quiet ? quietGain : toneGain) * tone;
                if (burst)
                    x += burstGain * (2.0 * noise.nextDouble() - 1.0);
                buffer.setSample (channel, i, (float) juce::jlimit (-1.0, 1.0, x));
            }
        }
    }

    //==============================================================================
    std::optional<DemoChannelLayout> prepareForDemo (juce::AudioPluginInstance& instance, double sampleRate, int blockSize)
    {
        instance.releaseResources();

        auto layout = instance.getBusesLayout();
        if (layout.inputBuses.isEmpty() || layout.outputBuses.isEmpty())
            return std::nullopt;

        layout.inputBuses.getReference (0) = juce::AudioChannelSet::stereo();
        layout.outputBuses.getReference (0) = juce::AudioChannelSet::stereo();

        bool applied = false;
        if (layout.inputBuses.size() > 1)
        {
            // Prefer the side-chain switched off; a plug-in that insists on it gets silent stereo.
            for (auto sideChain : { juce::AudioChannelSet::disabled(), juce::AudioChannelSet::stereo() })
            {
                for (int bus = 1; bus < layout.inputBuses.size(); ++bus)
                    layout.inputBuses.getReference (bus) = sideChain;
                if ((applied = instance.setBusesLayout (layout)))
                    break;
            }
        }
        else
        {
            applied = instance.setBusesLayout (layout);
        }

        if (! applied)
        {
            // Fixed ports: run the demo through the first two channels of the plug-in's own layout.
            instance.enableAllBuses();
        }

        instance.setRateAndBufferSizeDetails (sampleRate, blockSize);
        instance.prepareToPlay (sampleRate, blockSize);

        DemoChannelLayout result;
        result.mainInputs = instance.getMainBusNumInputChannels();
        result.mainOutputs = instance.getMainBusNumOutputChannels();
        result.totalInputs = instance.getTotalNumInputChannels();
        result.totalOutputs = instance.getTotalNumOutputChannels();
        result.signalChannels = juce::jmin (2, result.mainInputs, result.mainOutputs);
        result.stereoLayout = applied;
        if (result.signalChannels < 1)
            return std::nullopt;
        return result;
    }

    DemoReport runDemoSignal (juce::AudioPluginInstance& instance, const DemoChannelLayout& layout, double sampleRate,
                              int blockSize, double seconds)
    {
        const int numChannels = juce::jmax (layout.totalInputs, layout.totalOutputs, 1);
        juce::AudioBuffer<float> buffer (numChannels, blockSize);
        juce::MidiBuffer midi;
        DemoSignalGenerator generator (sampleRate);
        LevelMeter inputMeter, outputMeter;

        const auto totalSamples = (juce::int64) std::llround (seconds * sampleRate);
        for (juce::int64 done = 0; done < totalSamples; done += blockSize)
        {
            const int n = (int) juce::jmin ((juce::int64) blockSize, totalSamples - done);
            buffer.setSize (numChannels, n, false, false, true);
            buffer.clear();
            generator.render (buffer, layout.signalChannels, n);
            inputMeter.add (buffer, layout.signalChannels, n);

            midi.clear();
            instance.processBlock (buffer, midi);
            outputMeter.add (buffer, layout.signalChannels, n);
        }

        DemoReport report;
        report.input = inputMeter.level();
        report.output = outputMeter.level();
        report.seconds = (double) totalSamples / sampleRate;
        report.outputNonFinite = outputMeter.sawNonFinite();
        return report;
    }

    DemoReport playDemoSignal (PluginHost& host, juce::AudioPluginInstance& instance, const DemoChannelLayout& layout,
                               double sampleRate, int blockSize, double seconds)
    {
        DemoSignalGenerator generator (sampleRate);
        LevelMeter inputMeter, outputMeter;  // audio thread only while the session runs
        const int channels = layout.signalChannels;

        DawSession session (
            instance, sampleRate, blockSize,
            [&] (juce::AudioBuffer<float>& buffer, int)
            {
                generator.render (buffer, channels, buffer.getNumSamples());
                inputMeter.add (buffer, channels, buffer.getNumSamples());
            },
            [&] (const juce::AudioBuffer<float>& buffer, int) { outputMeter.add (buffer, channels, buffer.getNumSamples()); });

        const auto blocks = (int) std::ceil (seconds * sampleRate / blockSize);
        session.start();
        // Generous: a loaded machine may fall behind real time, which the session counts.
        session.waitForBlocks (host, blocks, (int) (seconds * 1000.0) * 10 + 5000);
        session.stop();

        DemoReport report;
        report.input = inputMeter.level();
        report.output = outputMeter.level();
        report.seconds = (double) session.blocksRendered() * blockSize / sampleRate;
        report.outputNonFinite = outputMeter.sawNonFinite();
        report.lateBlocks = session.lateBlocks();
        return report;
    }

}  // namespace brisalto::host
