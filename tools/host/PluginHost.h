#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>
#include <optional>

namespace brisalto::host
{

    enum class PluginFormatKind
    {
        vst3,
        lv2
    };

    juce::String displayNameOf (PluginFormatKind kind);

    // "vst3" or "lv2", in any letter case.
    std::optional<PluginFormatKind> parseFormatName (const juce::String& name);

    struct LoadResult
    {
        std::unique_ptr<juce::AudioPluginInstance> instance;
        juce::String error;  // why loading failed; empty on success
    };

    //==============================================================================
    /** Loads VST3 and LV2 bundles through JUCE's own plug-in hosting, as a DAW does.

    Owns JUCE's message manager for the host side. The host never runs a message loop of its
    own: whatever a plug-in format posts to the host's message thread (for example a VST3
    plug-in announcing a new latency) is dispatched by pumpMessages() or pumpUntil().
*/
    class PluginHost
    {
    public:
        PluginHost();
        ~PluginHost();

        /** Loads the plug-in in a bundle folder (Something.vst3 or Something.lv2) and prepares
        nothing yet: the instance comes back unprepared, with the plug-in's default layout. */
        LoadResult load (PluginFormatKind kind, const juce::File& bundle, double sampleRate, int blockSize);

        /** Loads one of the LV2 plug-ins a bundle declares, by its URI (for bundles that declare
        several, or name them with prefixes the manifest reader does not follow). */
        LoadResult loadLv2Plugin (const juce::File& bundle, const juce::String& uri, double sampleRate, int blockSize);

        /** Dispatches the host's pending messages for about the given time. */
        void pumpMessages (int milliseconds);

        /** Dispatches messages until the condition holds or the time runs out; returns the condition. */
        bool pumpUntil (const std::function<bool()>& condition, int timeoutMilliseconds);

    private:
        LoadResult loadVst3 (const juce::File& bundle, double sampleRate, int blockSize);
        LoadResult loadLv2 (const juce::File& bundle, double sampleRate, int blockSize);
        LoadResult instantiate (const juce::PluginDescription&, double sampleRate, int blockSize);

        juce::ScopedJuceInitialiser_GUI juceInitialiser;
        juce::AudioPluginFormatManager formats;
        juce::VST3PluginFormat* vst3 = nullptr;
        juce::LV2PluginFormat* lv2 = nullptr;

        JUCE_DECLARE_NON_COPYABLE (PluginHost)
    };

    // The plug-in URI an LV2 bundle declares in its manifest.ttl, or an empty string.
    juce::String findLv2PluginUri (const juce::File& bundle);

}  // namespace brisalto::host
