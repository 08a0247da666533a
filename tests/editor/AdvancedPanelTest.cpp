#include "EditorTestSupport.h"
#include "PanelTestSupport.h"
#include "editor/panels/AdvancedPanel1.h"

#include <gtest/gtest.h>

#include <limits>
#include <regex>

namespace
{
    // Counts the calls that would make or disconnect the processor's own MIDI input.
    struct CountingAdvancedPanel final : AdvancedPanel1
    {
        using AdvancedPanel1::AdvancedPanel1;
        void enableMidiReceive() override { ++enables; }
        void disconnectOwnMidiSources() override { ++disconnects; }
        int enables = 0, disconnects = 0;
    };

    using AdvancedPanelTest = PanelFixture;

    struct ChildPlace
    {
        juce::Rectangle<int> atDesignSize, atHalfSize;
        float fontHeight;  // 0 for children that are not labels
    };

    // In the order of AdvancedPanel1::children().
    const ChildPlace childPlaces[] = {
        { { 488, 359, 192, 17 }, { 244, 179, 96, 8 }, 11 }, { { 450, 75, 108, 118 }, { 225, 38, 54, 59 }, 0 },
        { { 571, 75, 108, 118 }, { 285, 38, 54, 59 }, 0 },  { { 464, 42, 88, 17 }, { 232, 21, 44, 8 }, 14 },
        { { 584, 42, 88, 17 }, { 292, 21, 44, 8 }, 14 },    { { 176, 42, 64, 17 }, { 88, 21, 32, 8 }, 14 },
        { { 45, 42, 75, 17 }, { 23, 21, 37, 8 }, 14 },      { { 25, 75, 108, 118 }, { 12, 38, 54, 59 }, 0 },
        { { 280, 42, 96, 17 }, { 140, 21, 48, 8 }, 14 },    { { 146, 75, 108, 118 }, { 73, 38, 54, 59 }, 0 },
        { { 267, 75, 108, 118 }, { 133, 38, 54, 59 }, 0 },  { { 16, 296, 128, 21 }, { 8, 148, 64, 11 }, 0 },
        { { 16, 232, 64, 25 }, { 8, 116, 32, 13 }, 16 },    { { 160, 10, 96, 25 }, { 80, 5, 48, 13 }, 16 },
        { { 512, 10, 88, 25 }, { 256, 5, 44, 13 }, 16 },    { { 176, 262, 80, 88 }, { 88, 131, 40, 44 }, 0 },
        { { 208, 236, 24, 17 }, { 104, 118, 12, 8 }, 14 },  { { 292, 262, 80, 89 }, { 146, 131, 40, 44 }, 0 },
        { { 280, 234, 112, 17 }, { 140, 117, 56, 8 }, 14 }, { { 8, 359, 80, 17 }, { 4, 179, 40, 8 }, 11 },
        { { 548, 256, 128, 21 }, { 274, 128, 64, 11 }, 0 }, { { 540, 234, 144, 17 }, { 270, 117, 72, 8 }, 14 },
        { { 541, 284, 72, 17 }, { 271, 142, 36, 8 }, 14 },  { { 620, 283, 56, 21 }, { 310, 141, 28, 11 }, 0 },
        { { 420, 262, 80, 89 }, { 210, 131, 40, 44 }, 0 },  { { 404, 234, 112, 17 }, { 202, 117, 56, 8 }, 14 },
        { { 650, 320, 32, 25 }, { 325, 160, 16, 13 }, 0 },  { { 542, 324, 102, 17 }, { 271, 162, 51, 8 }, 14 },
    };

    float fontHeightOf (juce::Component* c)
    {
        return dynamic_cast<juce::Label*> (c)->getFont().getHeight();
    }
}

TEST_F (AdvancedPanelTest, ChildrenAndLabelFontsFollowThePanelSizeWithoutDrift)
{
    AdvancedPanel1 panel (processor);
    const auto children = panel.children();
    ASSERT_EQ (children.size(), std::size (childPlaces));

    const auto expectAt = [&] (int w, int h, bool half)
    {
        panel.setSize (w, h);
        for (size_t i = 0; i < children.size(); ++i)
        {
            SCOPED_TRACE (testing::Message() << "child " << i + 1 << " at " << w << "x" << h);
            const auto& place = childPlaces[i];
            EXPECT_EQ (children[i]->getBounds(), half ? place.atHalfSize : place.atDesignSize);
            if (place.fontHeight > 0)
            {
                EXPECT_FLOAT_EQ (fontHeightOf (children[i]), half ? place.fontHeight * 0.5f + 0.5f : place.fontHeight);
                EXPECT_EQ (dynamic_cast<juce::Label*> (children[i])->getFont().getTypefaceStyle(), "Regular");
            }
        }
    };

    expectAt (700, 380, false);
    for (int round = 0; round < 5; ++round)
    {
        expectAt (350, 190, true);
        panel.setSize (1400, 900);
        EXPECT_FLOAT_EQ (fontHeightOf (panel.qLabel.get()), 14.0f);
        panel.setSize (123, 77);
    }
    expectAt (700, 380, false);
}

TEST_F (AdvancedPanelTest, VersionTextCarriesTheVersionAndTheBuildStamp)
{
    AdvancedPanel1 panel (processor);
    EXPECT_TRUE (
        std::regex_match (panel.versionLabel->getText().toStdString(),
                          std::regex (
                              "version 1\\.15\\.3 - [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} - [0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
        << panel.versionLabel->getText();
}

TEST_F (AdvancedPanelTest, EachKnobSendsItsParameterInsideAGesture)
{
    AdvancedPanel1 panel (processor);
    const struct
    {
        juce::Slider* knob;
        int index;
        double value;
    } knobs[] = {
        { panel.maxGainLevelSlider.get(), 15, -12.0 },  { panel.autoGainAmountSlider.get(), 19, 40.0 },
        { panel.adaptiveAmountSlider.get(), 17, 0.3 },  { panel.adaptiveGainSlider.get(), 16, 0.7 },
        { panel.lookaheadSlider.get(), 4, 250.0 },      { panel.filterQSlider.get(), 25, 2.5 },
        { panel.nonLinReleaseSlider.get(), 26, -40.0 }, { panel.limiterReleaseSlider.get(), 29, 80.0 },
    };

    for (const auto& k : knobs)
    {
        SCOPED_TRACE (k.index);
        HostRecorder host (processor);
        processor.mCurrentProgram = 3;
        panel.sliderDragStarted (k.knob);
        k.knob->setValue (k.value, juce::sendNotificationSync);
        panel.sliderDragEnded (k.knob);

        ASSERT_EQ (host.events.size(), 3u);
        EXPECT_EQ (host.events[0].kind, 'b');
        EXPECT_EQ (host.events[1].kind, 'v');
        EXPECT_EQ (host.events[2].kind, 'e');
        for (const auto& e : host.events)
            EXPECT_EQ (e.index, k.index);
        EXPECT_FLOAT_EQ (host.events[1].value, BrisaltoAudioProcessor::parameterValue2Plugin (k.index, (float) k.value));
        EXPECT_EQ (processor.mCurrentProgram, 0);
        if (k.index == 4)
        {
            EXPECT_EQ (host.events[1].lookaheadMsAtCall, 250);
        }
    }
}

TEST_F (AdvancedPanelTest, FilterTypeIsSentWithoutGestureAndShownWithTheDetectorsMapping)
{
    AdvancedPanel1 panel (processor);
    for (int id : { 2, 3, 4, 1 })  // a new panel shows band-pass already
    {
        HostRecorder host (processor);
        panel.filterTypeCombo->setSelectedId (id, juce::sendNotificationSync);
        ASSERT_EQ (host.events.size(), 1u) << id;
        EXPECT_EQ (host.events[0].kind, 'v');
        EXPECT_EQ (host.events[0].index, 24);
        EXPECT_FLOAT_EQ (host.events[0].value, (float) (id - 1) / 10.0f);
    }

    // The nearest tenth; anything beyond notch runs as band-pass and shows as such.
    const std::pair<float, int> shown[] = { { 0.0f, 1 },  { 0.1f, 2 },  { 0.2f, 3 },
                                            { 0.24f, 3 }, { 0.25f, 4 }, { 0.3f, 4 },
                                            { 0.34f, 4 }, { 0.35f, 1 }, { 0.7f, 1 },
                                            { 1.0f, 1 },  { -0.5f, 1 }, { std::numeric_limits<float>::quiet_NaN(), 1 } };
    for (auto [value, id] : shown)
    {
        processor.setParameter (24, value);
        panel.update_UI();
        EXPECT_EQ (panel.filterTypeCombo->getSelectedId(), id) << value;
        EXPECT_EQ ((int) filterTypeFromParameter (value), id - 1) << value;
    }
}

TEST_F (AdvancedPanelTest, RefreshShowsWhatTheProcessorHolds)
{
    AdvancedPanel1 panel (processor);
    const struct
    {
        int index;
        float normalised;
        juce::Slider* knob;
        double shown;
    } rows[] = {
        { 15, 0.5f, panel.maxGainLevelSlider.get(), -15.0 },   { 17, 0.4f, panel.adaptiveAmountSlider.get(), 0.4 },
        { 16, 0.8f, panel.adaptiveGainSlider.get(), 0.8 },     { 19, 0.75f, panel.autoGainAmountSlider.get(), 50.0 },
        { 25, 0.3f, panel.filterQSlider.get(), 3.0 },          { 26, 0.2f, panel.nonLinReleaseSlider.get(), -60.0 },
        { 29, 0.25f, panel.limiterReleaseSlider.get(), 50.0 },
    };
    for (const auto& row : rows)
        processor.setParameter (row.index, row.normalised);
    processor.mLookaheadMs = 321;
    processor.midi_receive_from_DAW = 1;

    HostRecorder host (processor);
    panel.update_UI();
    for (const auto& row : rows)
        EXPECT_NEAR (row.knob->getValue(), row.shown, 1e-4) << row.index;
    EXPECT_EQ (panel.lookaheadSlider->getValue(), 321.0);
    EXPECT_TRUE (panel.midiFromDawToggle->getToggleState());
    pumpPendingMessages (1000);
    EXPECT_TRUE (host.events.empty());
}

TEST_F (AdvancedPanelTest, MidiSelectorsWriteTheProcessorAndTheUserDefaults)
{
    CountingAdvancedPanel panel (processor);
    pumpPendingMessages (1000);
    panel.enables = 0;

    const struct
    {
        int id, mode, enables;
    } modes[] = { { 3, 2, 1 }, { 1, 0, 0 }, { 2, 1, 1 } };
    for (const auto& m : modes)
    {
        panel.enables = 0;
        panel.progChangeModeCombo->setSelectedId (m.id, juce::sendNotificationSync);
        EXPECT_EQ (processor.midi_progr_change_mode, m.mode);
        EXPECT_EQ (defaults->integerForKey ("kAppPrefMidiProgChangeMode"), m.mode);
        EXPECT_EQ (panel.enables, m.enables) << m.id;
    }

    for (auto [id, channel] : { std::pair { 1, -1 }, std::pair { 2, 0 }, std::pair { 17, 15 } })
    {
        panel.midiChannelCombo->setSelectedId (id, juce::sendNotificationSync);
        EXPECT_EQ (processor.midi_progr_change_channel, channel);
        EXPECT_EQ (defaults->integerForKey ("kAppPrefMidiChannel"), channel);
    }
}

TEST_F (AdvancedPanelTest, NewPanelWritesStoredMidiSettingsBackAndIgnoresValuesWithoutAnItem)
{
    processor.midi_progr_change_mode = 2;
    processor.midi_progr_change_channel = 4;
    {
        CountingAdvancedPanel panel (processor);
        EXPECT_EQ (panel.enables, 0);
        pumpPendingMessages (1000);
        EXPECT_EQ (defaults->integerForKey ("kAppPrefMidiProgChangeMode"), 2);
        EXPECT_EQ (defaults->integerForKey ("kAppPrefMidiChannel"), 4);
        EXPECT_EQ (panel.enables, 1);
    }

    // Stored values no item stands for: the selectors show nothing and change nothing.
    defaults->setInteger ("kAppPrefMidiProgChangeMode", 7);
    defaults->setInteger ("kAppPrefMidiChannel", 7);
    processor.midi_progr_change_mode = 5;
    processor.midi_progr_change_channel = -9;
    CountingAdvancedPanel panel (processor);
    pumpPendingMessages (1000);
    EXPECT_EQ (processor.midi_progr_change_mode, 5);
    EXPECT_EQ (processor.midi_progr_change_channel, -9);
    EXPECT_EQ (defaults->integerForKey ("kAppPrefMidiProgChangeMode"), 7);
    EXPECT_EQ (defaults->integerForKey ("kAppPrefMidiChannel"), 7);
    EXPECT_EQ (panel.enables, 0);
}

TEST_F (AdvancedPanelTest, MidiFromTheHostToggle)
{
    CountingAdvancedPanel panel (processor);
    pumpPendingMessages (1000);

    // mix mode, program-change mode, CC mode -> whether switching off enables the own MIDI
    const struct
    {
        MixMode mix;
        int progChange, cc, enables;
    } offCases[] = {
        { MixMode::sum, 0, 0, 0 },
        { MixMode::sideMidi, 0, 0, 1 },
        { MixMode::sum, 1, 0, 1 },
        { MixMode::sum, 0, 1, 1 },
    };
    for (const auto& c : offCases)
    {
        panel.enables = panel.disconnects = 0;
        processor.mixMode = (int32_t) c.mix;
        processor.midi_progr_change_mode = c.progChange;
        processor.midi_CC_receive_mode = c.cc;

        panel.midiFromDawToggle->setToggleState (true, juce::sendNotificationSync);
        EXPECT_EQ (processor.midi_receive_from_DAW, 1);
        EXPECT_EQ (panel.disconnects, 0);  // no wrapper: nothing to disconnect
        EXPECT_EQ (panel.enables, 0);

        panel.midiFromDawToggle->setToggleState (false, juce::sendNotificationSync);
        EXPECT_EQ (processor.midi_receive_from_DAW, 0);
        EXPECT_EQ (panel.enables, c.enables);
    }
}
