#pragma once

#include "common/InMemoryUserDefaults.h"
#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A processor for a panel to edit, with the user defaults kept in memory for the test.
class PanelFixture : public testing::Test
{
protected:
    PanelFixture() { brisalto::platform::UserDefaults::setStandard (defaults); }
    ~PanelFixture() override { brisalto::platform::UserDefaults::setStandard (nullptr); }

    // The main input (and output) with n discrete channels; 0 disables the main input.
    void setInputChannels (int n)
    {
        auto layout = processor.getBusesLayout();
        layout.inputBuses.getReference (0) =
            n > 0 ? juce::AudioChannelSet::discreteChannels (n) : juce::AudioChannelSet::disabled();
        layout.outputBuses.getReference (0) = juce::AudioChannelSet::discreteChannels (juce::jmax (n, 2));
        ASSERT_TRUE (processor.setBusesLayout (layout)) << n;
        ASSERT_EQ (processor.getMainBusNumInputChannels(), n);
    }

    std::shared_ptr<brisalto::platform::InMemoryUserDefaults> defaults =
        std::make_shared<brisalto::platform::InMemoryUserDefaults>();
    BrisaltoAudioProcessor processor;
};

// What the host hears: parameter changes and the gestures around them, in order.
struct HostRecorder final : juce::AudioProcessorListener
{
    struct Event
    {
        char kind;  // 'b' gesture begin, 'v' value, 'e' gesture end
        int index;
        float value;
        int lookaheadMsAtCall;
    };

    explicit HostRecorder (BrisaltoAudioProcessor& p)
        : processor (p)
    {
        processor.addListener (this);
    }
    ~HostRecorder() override { processor.removeListener (this); }

    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        events.push_back ({ 'v', index, value, processor.mLookaheadMs });
    }
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ 'b', index, 0.0f, 0 });
    }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ 'e', index, 0.0f, 0 });
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    BrisaltoAudioProcessor& processor;
    std::vector<Event> events;
};
