#pragma once

#include "common/ParameterExpectations.h"
#include "DemoSignal.h"
#include "HostedParameters.h"
#include "PluginHost.h"

#include <gtest/gtest.h>

#include <array>

namespace brisalto::host::test
{
    using brisalto::test::parameterDefaults;
    using brisalto::test::parameterNames;

    /** The host shared by all tests of the process (JUCE's message manager lives once). */
    PluginHost& sharedHost();

    juce::File bundleFor (PluginFormatKind kind);

    /** The second LV2, whose fixed ports carry 7.1.4 on all three buses. */
    juce::File wideLv2Bundle();

    /** A fresh instance of the built bundle; fails the test if it cannot be loaded. */
    std::unique_ptr<juce::AudioPluginInstance> loadFresh (PluginFormatKind kind, double sampleRate = 48000.0,
                                                          int blockSize = 1024);

    /** Prepares with the plug-in's current layout. */
    void prepare (juce::AudioPluginInstance& instance, double sampleRate, int blockSize);

    /** Runs blocks of a quiet tone through a prepared instance (parameter changes reach the
    plug-in at the next block), with firstBlockMidi as the host's MIDI of the first block. */
    void processBlocks (juce::AudioPluginInstance& instance, int numBlocks, const juce::MidiBuffer& firstBlockMidi = {});

    /** Renders a silent block and runs the host's message loop for a moment, again and again, until the
    condition holds or the time is up; returns the condition. What the plug-in hands to its
    message thread reaches the host from there: a VST3 through the message loop, an LV2 with
    its next block. */
    bool renderUntil (juce::AudioPluginInstance& instance, const std::function<bool()>& condition, int timeoutMilliseconds);

    /** The latency once whatever the format posts to the host has arrived: waits, rendering, until
    it equals the expected value (or a short time has passed) and returns what the host reads then. */
    int settledLatency (juce::AudioPluginInstance& instance, int expected);

    /** Sets a parameter by name as a host's automation does; fails the test if there is none. */
    void setByName (juce::AudioPluginInstance& instance, const juce::String& name, float value);

    juce::AudioChannelSet discrete (int channels);

    /** A transport that plays, as a DAW's does while the user listens; the caller moves it on. */
    struct PlayingHead final : juce::AudioPlayHead
    {
        juce::Optional<PositionInfo> getPosition() const override
        {
            PositionInfo info;
            info.setIsPlaying (true);
            info.setTimeInSamples (samples);
            return info;
        }
        juce::int64 samples = 0;
    };

}  // namespace brisalto::host::test

namespace brisalto::host::test
{

    /** Base of the tests that run once per plug-in format. */
    class EachFormat : public ::testing::TestWithParam<PluginFormatKind>
    {
    protected:
        PluginFormatKind format() const { return GetParam(); }
        bool isLv2() const { return GetParam() == PluginFormatKind::lv2; }
    };

    inline std::string formatTestName (const ::testing::TestParamInfo<PluginFormatKind>& info)
    {
        return displayNameOf (info.param).toStdString();
    }

}  // namespace brisalto::host::test

#define BRISALTO_FOR_EACH_FORMAT(Suite)                                                    \
    INSTANTIATE_TEST_SUITE_P (Formats, Suite,                                              \
                              ::testing::Values (::brisalto::host::PluginFormatKind::vst3, \
                                                 ::brisalto::host::PluginFormatKind::lv2), \
                              ::brisalto::host::test::formatTestName)
