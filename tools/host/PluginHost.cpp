#include "PluginHost.h"

namespace brisalto::host
{

    juce::String displayNameOf (PluginFormatKind kind)
    {
        return kind == PluginFormatKind::vst3 ? "VST3" : "LV2";
    }

    std::optional<PluginFormatKind> parseFormatName (const juce::String& name)
    {
        const auto lower = name.trim().toLowerCase();
        if (lower == "vst3")
            return PluginFormatKind::vst3;
        if (lower == "lv2")
            return PluginFormatKind::lv2;
        return std::nullopt;
    }

    juce::String findLv2PluginUri (const juce::File& bundle)
    {
        const auto manifest = bundle.getChildFile ("manifest.ttl");
        if (! manifest.existsAsFile())
            return {};

        // A subject in angle brackets followed by "a lv2:Plugin" names the plug-in.
        juce::String lastSubject;
        juce::StringArray lines;
        lines.addLines (manifest.loadFileAsString());

        for (const auto& rawLine : lines)
        {
            const auto line = rawLine.trim();
            if (line.startsWithChar ('<'))
                lastSubject = line.fromFirstOccurrenceOf ("<", false, false).upToFirstOccurrenceOf (">", false, false);
            else if (line.startsWith ("a lv2:Plugin") && lastSubject.isNotEmpty())
                return lastSubject;
        }
        return {};
    }

    //==============================================================================
    PluginHost::PluginHost()
    {
        auto vst3Format = std::make_unique<juce::VST3PluginFormat>();
        auto lv2Format = std::make_unique<juce::LV2PluginFormat>();
        vst3 = vst3Format.get();
        lv2 = lv2Format.get();
        formats.addFormat (vst3Format.release());
        formats.addFormat (lv2Format.release());
    }

    PluginHost::~PluginHost() = default;

    LoadResult PluginHost::load (PluginFormatKind kind, const juce::File& bundle, double sampleRate, int blockSize)
    {
        if (! bundle.isDirectory())
            return { nullptr, "no plug-in bundle at " + bundle.getFullPathName() };

        return kind == PluginFormatKind::vst3 ? loadVst3 (bundle, sampleRate, blockSize)
                                              : loadLv2 (bundle, sampleRate, blockSize);
    }

    LoadResult PluginHost::loadVst3 (const juce::File& bundle, double sampleRate, int blockSize)
    {
        juce::OwnedArray<juce::PluginDescription> found;
        vst3->findAllTypesForFile (found, bundle.getFullPathName());

        if (found.isEmpty())
            return { nullptr, "no VST3 plug-in found in " + bundle.getFullPathName() };

        return instantiate (*found.getFirst(), sampleRate, blockSize);
    }

    LoadResult PluginHost::loadLv2 (const juce::File& bundle, double sampleRate, int blockSize)
    {
        const auto uri = findLv2PluginUri (bundle);
        if (uri.isEmpty())
            return { nullptr, "no LV2 plug-in declared in " + bundle.getChildFile ("manifest.ttl").getFullPathName() };

        return loadLv2Plugin (bundle, uri, sampleRate, blockSize);
    }

    LoadResult PluginHost::loadLv2Plugin (const juce::File& bundle, const juce::String& uri, double sampleRate, int blockSize)
    {
        if (! bundle.isDirectory())
            return { nullptr, "no plug-in bundle at " + bundle.getFullPathName() };

        // LV2 hosts find bundles by scanning the folders that hold them (the system's folders are
        // scanned already).
        juce::OwnedArray<juce::PluginDescription> found;
        lv2->findAllTypesForFile (found, uri);
        if (found.isEmpty())
        {
            lv2->searchPathsForPlugins (juce::FileSearchPath (bundle.getParentDirectory().getFullPathName()), false, false);
            lv2->findAllTypesForFile (found, uri);
        }

        if (found.isEmpty())
            return { nullptr, "LV2 plug-in <" + uri + "> could not be read from " + bundle.getFullPathName() };

        return instantiate (*found.getFirst(), sampleRate, blockSize);
    }

    LoadResult PluginHost::instantiate (const juce::PluginDescription& description, double sampleRate, int blockSize)
    {
        LoadResult result;
        result.instance = formats.createPluginInstance (description, sampleRate, blockSize, result.error);

        if (result.instance == nullptr && result.error.isEmpty())
            result.error = "the plug-in could not be instantiated";
        if (result.instance != nullptr)
            result.error.clear();
        return result;
    }

    void PluginHost::pumpMessages (int milliseconds)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (juce::jmax (1, milliseconds));
    }

    bool PluginHost::pumpUntil (const std::function<bool()>& condition, int timeoutMilliseconds)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMilliseconds);

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() >= deadline)
                return condition();
            pumpMessages (5);
        }
        return true;
    }

}  // namespace brisalto::host
