// brisalto-host: loads an installed or built Brisalto bundle the way a DAW does and prints what
// a user would check: name, parameters, latency and the level of a demo signal before and after.

#include "DemoSignal.h"
#include "HostedParameters.h"
#include "PluginHost.h"

#include <cstdio>
#include <iostream>

namespace
{
    using namespace brisalto::host;

    struct Options
    {
        PluginFormatKind format = PluginFormatKind::vst3;
        juce::File bundle;
        double sampleRate = 48000.0;
        int blockSize = 512;
        double seconds = 4.0;
        bool daw = false;  // play in real time on an audio thread, message loop running
    };

    void printUsage()
    {
        std::cerr << "usage: brisalto-host <vst3|lv2> <bundle path> [--rate Hz] [--block samples] [--seconds s] [--daw]\n"
                     "  --daw plays the demo as a DAW does: in real time on an audio thread of its own,\n"
                     "        with the host's message loop running and no editor\n"
                     "  e.g. brisalto-host vst3 ~/.vst3/Brisalto.vst3\n"
                     "       brisalto-host lv2 ~/.lv2/Brisalto.lv2 --daw\n";
    }

    std::optional<Options> parseArguments (const juce::StringArray& args)
    {
        if (args.size() < 2)
            return std::nullopt;

        Options options;
        const auto format = parseFormatName (args[0]);
        if (! format)
        {
            std::cerr << "brisalto-host: unknown plug-in format '" << args[0] << "' (use vst3 or lv2)\n";
            return std::nullopt;
        }
        options.format = *format;
        options.bundle = juce::File::getCurrentWorkingDirectory().getChildFile (args[1]);

        for (int i = 2; i < args.size(); i += 2)
        {
            const auto& key = args[i];
            if (key == "--daw")
            {
                options.daw = true;
                --i;  // a flag without a value
                continue;
            }
            const auto value = args[i + 1];
            if (value.isEmpty())
            {
                std::cerr << "brisalto-host: " << key << " needs a value\n";
                return std::nullopt;
            }
            if (key == "--rate")
                options.sampleRate = value.getDoubleValue();
            else if (key == "--block")
                options.blockSize = value.getIntValue();
            else if (key == "--seconds")
                options.seconds = value.getDoubleValue();
            else
            {
                std::cerr << "brisalto-host: unknown option " << key << "\n";
                return std::nullopt;
            }
        }

        if (! (options.sampleRate >= 8000.0 && options.sampleRate <= 768000.0) || options.blockSize < 1
            || options.blockSize > 65536 || ! (options.seconds > 0.0 && options.seconds <= 600.0))
        {
            std::cerr << "brisalto-host: rate must be 8000..768000 Hz, block 1..65536 samples, seconds 0..600\n";
            return std::nullopt;
        }
        return options;
    }

    juce::String describe (const SignalLevel& level)
    {
        return "peak " + juce::String (level.peakDb, 1) + " dBFS   RMS " + juce::String (level.rmsDb, 1) + " dBFS";
    }

    int run (const Options& options)
    {
        PluginHost host;
        auto loaded = host.load (options.format, options.bundle, options.sampleRate, options.blockSize);

        if (loaded.instance == nullptr)
        {
            std::cerr << "brisalto-host: cannot load the " << displayNameOf (options.format) << " plug-in from "
                      << options.bundle.getFullPathName() << ": " << loaded.error << "\n";
            return 1;
        }

        auto& plugin = *loaded.instance;
        const auto parameters = pluginParameters (plugin);
        const int added = plugin.getParameters().size() - parameters.size();

        std::cout << "Format:      " << displayNameOf (options.format) << "\n"
                  << "Bundle:      " << options.bundle.getFullPathName() << "\n"
                  << "Plug-in:     " << plugin.getName() << "\n"
                  << "Parameters:  " << parameters.size()
                  << (added > 0 ? " (plus " + juce::String (added) + " controls the format wrapper adds)" : juce::String())
                  << "\n";

        for (int i = 0; i < parameters.size(); ++i)
        {
            auto* parameter = parameters[i];
            std::printf ("  %2d  %-26s default %-6s %s\n", i, parameter->getName (64).toRawUTF8(),
                         juce::String (parameter->getDefaultValue(), 3).toRawUTF8(),
                         parameter->isAutomatable() ? "" : "(not automatable)");
        }
        std::fflush (stdout);

        const auto layout = prepareForDemo (plugin, options.sampleRate, options.blockSize);
        if (! layout)
        {
            std::cerr << "brisalto-host: the plug-in has no usable main input and output\n";
            return 1;
        }

        // A format may announce latency through the host's message thread: let it arrive.
        host.pumpMessages (50);

        std::cout << "Latency:     " << plugin.getLatencySamples() << " samples at " << juce::String (options.sampleRate, 0)
                  << " Hz, " << options.blockSize << "-sample blocks\n"
                  << "Channels:    " << layout->mainInputs << " in, " << layout->mainOutputs << " out"
                  << (layout->totalInputs > layout->mainInputs ? ", side-chain silent" : "")
                  << (layout->stereoLayout ? "" : " (fixed ports: the demo uses the first two channels)") << "\n";

        const auto report = options.daw
            ? playDemoSignal (host, plugin, *layout, options.sampleRate, options.blockSize, options.seconds)
            : runDemoSignal (plugin, *layout, options.sampleRate, options.blockSize, options.seconds);
        plugin.releaseResources();

        std::cout << "Demo signal: " << juce::String (report.seconds, 1)
                  << " s stereo, 220 Hz tone at -3 dBFS with noise bursts (0.5 s at -30 dBFS first)"
                  << (options.daw ? ", played in real time (" + juce::String (report.lateBlocks) + " blocks late)"
                                  : juce::String())
                  << "\n"
                  << "Input:       " << describe (report.input) << "\n"
                  << "Output:      " << describe (report.output) << "\n";

        if (report.outputNonFinite)
        {
            std::cerr << "brisalto-host: the plug-in's output contains non-finite samples\n";
            return 2;
        }
        return 0;
    }
}

int main (int argc, char* argv[])
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    if (args.contains ("--help") || args.contains ("-h"))
    {
        printUsage();
        return 0;
    }

    const auto options = parseArguments (args);
    if (! options)
    {
        printUsage();
        return 64;
    }

    return run (*options);
}
