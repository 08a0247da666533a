// brisalto-unload: what a DAW does around an offline export and at its exit, repeated. Loads a
// built bundle several times, renders on an audio thread of its own, destroys instances on
// threads other than the one that made them (one while the message loop runs), lets the format
// unload the library, and leaves through exit(). Meant to run under a sanitizer build of both
// sides or with glibc's heap checks (MALLOC_CHECK_=3): it reports nothing itself but exits 0.

#include "DemoSignal.h"
#include "PluginHost.h"

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace
{
    using namespace brisalto::host;

    constexpr double sampleRate = 48000.0;
    constexpr int blockSize = 512;

    void render (juce::AudioPluginInstance& plugin, int blocks)
    {
        juce::AudioBuffer<float> buffer (juce::jmax (plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels()),
                                         blockSize);
        juce::MidiBuffer midi;
        for (int b = 0; b < blocks; ++b)
        {
            for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
                for (int i = 0; i < blockSize; ++i)
                    buffer.setSample (ch, i, 0.5f * std::sin (0.03f * (float) (b * blockSize + i)));
            plugin.processBlock (buffer, midi);
        }
    }

    // With keepOne, the first instance is still rendering when the process exits.
    bool runOnce (PluginHost& host, PluginFormatKind kind, const juce::File& bundle, int instances, bool keepOne = false)
    {
        std::vector<std::unique_ptr<juce::AudioPluginInstance>> plugins;
        for (int i = 0; i < instances; ++i)
        {
            auto loaded = host.load (kind, bundle, sampleRate, blockSize);
            if (loaded.instance == nullptr)
            {
                std::cerr << "brisalto-unload: " << loaded.error << "\n";
                return false;
            }
            if (! prepareForDemo (*loaded.instance, sampleRate, blockSize))
                return false;
            plugins.push_back (std::move (loaded.instance));
        }

        if (keepOne)
        {
            std::thread (
                [p = plugins.front().release()]
                {
                    for (;;)
                        render (*p, 4);
                })
                .detach();
            host.pumpMessages (60);
            std::exit (0);
        }

        // Audio on its own thread while the message loop runs, as during an export.
        std::atomic<bool> rendering { true };
        std::thread audio (
            [&]
            {
                while (rendering.load (std::memory_order_acquire))
                    for (auto& p : plugins)
                        render (*p, 4);
            });
        host.pumpMessages (60);
        rendering.store (false, std::memory_order_release);
        audio.join();

        for (auto& p : plugins)
            p->releaseResources();

        // Each instance dies on a worker thread of its own while the message loop keeps running
        // (JUCE's VST3 hosting finishes the destruction on the message thread).
        for (auto& p : plugins)
        {
            std::atomic<bool> gone { false };
            std::thread killer (
                [&]
                {
                    p.reset();
                    gone = true;
                });
            host.pumpUntil ([&] { return gone.load(); }, 10000);
            killer.join();
        }
        plugins.clear();
        host.pumpMessages (20);
        return true;
    }
}

int main (int argc, char* argv[])
{
    if (argc < 3)
    {
        std::cerr << "usage: brisalto-unload <vst3|lv2> <bundle path> [rounds] [instances] [--exit-rendering]\n"
                     "  --exit-rendering: after the rounds, exits while one more instance renders\n";
        return 2;
    }
    const auto kind = parseFormatName (argv[1]);
    if (! kind)
        return 2;
    const auto bundle = juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]);
    const int rounds = argc > 3 ? juce::jlimit (1, 1000, std::atoi (argv[3])) : 3;
    const int instances = argc > 4 ? juce::jlimit (1, 16, std::atoi (argv[4])) : 2;

    {
        PluginHost host;
        for (int r = 0; r < rounds; ++r)
            if (! runOnce (host, *kind, bundle, instances))
                return 1;
        if (argc > 5 && juce::String (argv[5]) == "--exit-rendering")
            runOnce (host, *kind, bundle, 1, true);
    }
    // Leaves as a DAW does: through exit(), with every static destructor of both sides run.
    std::exit (0);
}
