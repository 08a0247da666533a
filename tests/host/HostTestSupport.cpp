#include "HostTestSupport.h"
#include "common/ScopedXdgFolders.h"

namespace brisalto::host::test
{

    namespace
    {
        // Owned by main, so that JUCE shuts down before the process's static objects go.
        PluginHost* currentHost = nullptr;
    }

    PluginHost& sharedHost()
    {
        jassert (currentHost != nullptr);
        return *currentHost;
    }

    juce::File bundleFor (PluginFormatKind kind)
    {
        if (kind == PluginFormatKind::vst3)
            return juce::File (BRISALTO_VST3_BINARY_DIR).getParentDirectory().getParentDirectory();
        return juce::File (BRISALTO_LV2_BUNDLE);
    }

    juce::File wideLv2Bundle()
    {
        return juce::File (BRISALTO_LV2_WIDE_BUNDLE);
    }

    std::unique_ptr<juce::AudioPluginInstance> loadFresh (PluginFormatKind kind, double sampleRate, int blockSize)
    {
        auto result = sharedHost().load (kind, bundleFor (kind), sampleRate, blockSize);
        EXPECT_NE (result.instance, nullptr) << result.error;
        return std::move (result.instance);
    }

    void prepare (juce::AudioPluginInstance& instance, double sampleRate, int blockSize)
    {
        instance.releaseResources();
        instance.setRateAndBufferSizeDetails (sampleRate, blockSize);
        instance.prepareToPlay (sampleRate, blockSize);
    }

    void processBlocks (juce::AudioPluginInstance& instance, int numBlocks, const juce::MidiBuffer& firstBlockMidi)
    {
        const int channels = juce::jmax (1, instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels());
        const int blockSize = juce::jmax (1, instance.getBlockSize());
        juce::AudioBuffer<float> buffer (channels, blockSize);
        juce::MidiBuffer midi;

        for (int block = 0; block < numBlocks; ++block)
        {
            for (int channel = 0; channel < channels; ++channel)
                for (int i = 0; i < blockSize; ++i)
                    buffer.setSample (channel, i, 0.1f * std::sin (0.05f * (float) (block * blockSize + i)));
            midi.clear();
            if (block == 0)
                midi.addEvents (firstBlockMidi, 0, -1, 0);
            instance.processBlock (buffer, midi);
        }
    }

    bool renderUntil (juce::AudioPluginInstance& instance, const std::function<bool()>& condition, int timeoutMilliseconds)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMilliseconds);
        const int channels = juce::jmax (1, instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels());
        juce::AudioBuffer<float> silence (channels, juce::jmax (1, instance.getBlockSize()));
        juce::MidiBuffer midi;
        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() >= deadline)
                return condition();
            // Silence, so that the signal a test renders next is all that comes out.
            silence.clear();
            midi.clear();
            instance.processBlock (silence, midi);
            sharedHost().pumpMessages (5);
        }
        return true;
    }

    int settledLatency (juce::AudioPluginInstance& instance, int expected)
    {
        // Blocks keep coming, as in a host: an LV2 reports its latency from its next block.
        renderUntil (
            instance, [&] { return instance.getLatencySamples() == expected; }, 3000);
        return instance.getLatencySamples();
    }

    void setByName (juce::AudioPluginInstance& instance, const juce::String& name, float value)
    {
        auto* parameter = findParameter (instance, name);
        ASSERT_NE (parameter, nullptr) << "no parameter named " << name;
        setParameterAsHost (*parameter, value);
    }

    juce::AudioChannelSet discrete (int channels)
    {
        return juce::AudioChannelSet::discreteChannels (channels);
    }

}  // namespace brisalto::host::test

int main (int argc, char** argv)
{
    // A home and XDG folders of their own, also when run directly: no installed plug-ins, no
    // user presets, nothing written into the user's configuration.
    ScopedXdgFolders folders (false, ScopedXdgFolders::Home::temporary);
    ::testing::InitGoogleTest (&argc, argv);

    int result = 0;
    {
        brisalto::host::PluginHost host;
        brisalto::host::test::currentHost = &host;
        result = RUN_ALL_TESTS();
        brisalto::host::test::currentHost = nullptr;
    }
    return result;
}
