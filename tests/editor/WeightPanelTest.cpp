#include "EditorTestSupport.h"
#include "PanelTestSupport.h"
#include "editor/panels/WeightPanel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    using WeightPanelTest = PanelFixture;

    juce::String labelsOf (const WeightPanel& panel)
    {
        juce::StringArray texts;
        for (auto* label : panel.channelLabels)
            texts.add (label->getText());
        return texts.joinIntoString (" ");
    }
}

TEST_F (WeightPanelTest, ChildrenAndLabelFontsScaleWithThePanel)
{
    WeightPanel panel (processor);
    ASSERT_EQ (panel.children().size(), 54u);

    const std::pair<juce::Component*, juce::Rectangle<int>> places[] = {
        { panel.hiddenLabel, { 684, 384, 16, 16 } },       { panel.weightSliders[0], { 14, 74, 72, 84 } },
        { panel.weightSliders[15], { 616, 226, 72, 84 } }, { panel.titleLabel, { 280, 16, 152, 24 } },
        { panel.channelLabels[0], { 34, 168, 32, 16 } },   { panel.channelLabels[13], { 462, 320, 32, 16 } },
        { panel.formatCombo, { 580, 364, 96, 24 } },       { panel.allOffButton, { 24, 364, 56, 22 } },
        { panel.allOnButton, { 96, 364, 56, 22 } },        { panel.channelMeters[4], { 366, 50, 56, 16 } },
        { panel.channelMeters[15], { 628, 202, 56, 16 } }, { panel.formatLabel, { 514, 368, 66, 16 } },
    };
    // Size, and the font of a 16 px label there (design height at the design size and above).
    const struct
    {
        int w, h;
        float font;
    } sizes[] = { { 720, 400, 16.0f }, { 360, 200, 8.5f }, { 720, 405, 16.0f }, { 1440, 800, 16.0f }, { 576, 324, 13.3f } };
    for (int round = 0; round < 2; ++round)
        for (const auto& size : sizes)
        {
            SCOPED_TRACE (testing::Message() << size.w << " x " << size.h);
            panel.setSize (size.w, size.h);
            const float sx = (float) size.w / 720.0f, sy = (float) size.h / 400.0f;
            const auto scaled = [] (int v, float s) { return (int) std::nearbyint ((float) v * s); };
            for (const auto& [child, b] : places)
                EXPECT_EQ (child->getBounds(),
                           juce::Rectangle<int> (scaled (b.getX(), sx), scaled (b.getY(), sy), scaled (b.getWidth(), sx),
                                                 scaled (b.getHeight(), sy)))
                    << child->getName();
            EXPECT_NEAR (panel.channelLabels[3]->getFont().getHeight(), size.font, 1e-4f);
        }
    EXPECT_FALSE (panel.hiddenLabel->isVisible());
    EXPECT_EQ (panel.weightSliders[7]->getDoubleClickReturnValue(), 0.0);
    EXPECT_TRUE (panel.weightSliders[7]->isDoubleClickReturnEnabled());
}

TEST_F (WeightPanelTest, RoleLabelsFollowTheChannelCountAndLayout)
{
    const struct
    {
        int channels, format;
        const char* labels;
    } layouts[] = {
        { 2, 0, "L R 3 4 5 6 7 8 9 10 11 12 13 14 15 16" },
        { 4, 13, "L R Ls Rs 5 6 7 8 9 10 11 12 13 14 15 16" },
        { 6, 0, "L R Ls Rs C LFE 7 8 9 10 11 12 13 14 15 16" },
        { 8, 0, "L R Lb Rb Ls Rs C LFE 9 10 11 12 13 14 15 16" },
        { 8, 13, "L R Ls Rs C LFE Lts Rts 9 10 11 12 13 14 15 16" },
        { 9, 0, "L R Ls Rs Lb Rb C LFE 9 10 11 12 13 14 15 16" },
        { 10, 0, "L R Ls Rs C LFE HL HR HLs HRs 11 12 13 14 15 16" },
        { 10, 14, "L R Lb Rb Ls Rs C LFE Lts Rts 11 12 13 14 15 16" },
        { 12, 0, "L R Lb Rb Ls Rs C LFE HL HR HLs HRs 13 14 15 16" },
        { 14, 0, "L R C LFE Lb Rb Ls Rs HL HR HLs HRs HC T 15 16" },
        { 16, 0, "L R C LFE Ls Rs HL HR HLs HRs Lb Rb WL WR Lts Rts" },
        { 20, 0, "L R Ls Rs Lb Rb C LFE 9 10 11 12 13 14 15 16" },
        { 1, 0, "L 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16" },
        { 0, 0, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16" },
    };

    for (const auto& layout : layouts)
    {
        SCOPED_TRACE (testing::Message() << layout.channels << " channels, format " << layout.format);
        setInputChannels (layout.channels);
        processor.inputFormat = layout.format;
        WeightPanel panel (processor);
        EXPECT_EQ (labelsOf (panel), layout.labels);
        for (int i = 0; i < 16; ++i)
        {
            EXPECT_EQ (panel.weightSliders[(size_t) i]->isEnabled(), i < layout.channels) << i;
            EXPECT_NEAR (panel.channelLabels[(size_t) i]->getAlpha(), i < layout.channels ? 1.0f : 0.5f, 0.01f) << i;
        }
    }
}

TEST_F (WeightPanelTest, FormatItemsByChannelCountAndAStoredLayoutSurvivesOtherCounts)
{
    const struct
    {
        int channels;
        juce::StringArray items;
        juce::Array<int> ids;
        bool shown;
    } rows[] = {
        { 8, { "7.1", "5.1.2" }, { 1, 14 }, true },
        { 10, { "5.1.4", "7.1.2" }, { 1, 15 }, true },
        { 6, { "Default" }, { 1 }, false },
        { 0, { "Default" }, { 1 }, false },
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.channels);
        setInputChannels (row.channels);
        processor.inputFormat = 13;
        WeightPanel panel (processor);
        pumpPendingMessages (1000);
        ASSERT_EQ (panel.formatCombo->getNumItems(), row.items.size());
        for (int i = 0; i < row.items.size(); ++i)
        {
            EXPECT_EQ (panel.formatCombo->getItemText (i), row.items[i]);
            EXPECT_EQ (panel.formatCombo->getItemId (i), row.ids[i]);
        }
        EXPECT_EQ (panel.formatCombo->isVisible(), row.shown);
        EXPECT_EQ (panel.formatLabel->isVisible(), row.shown);
        EXPECT_EQ (processor.inputFormat, 13);
    }

    // At 8 channels "5.1.2" is shown; choosing "7.1" stores 0 and relabels.
    setInputChannels (8);
    WeightPanel panel (processor);
    EXPECT_EQ (panel.formatCombo->getText(), "5.1.2");
    panel.formatCombo->setSelectedId (1, juce::sendNotificationSync);
    EXPECT_EQ (processor.inputFormat, 0);
    EXPECT_EQ (labelsOf (panel).upToFirstOccurrenceOf (" 9", false, false), "L R Lb Rb Ls Rs C LFE");
}

TEST_F (WeightPanelTest, KnobsSetWeightsInDecibelsAndShiftMovesAllSixteen)
{
    setInputChannels (4);
    WeightPanel panel (processor);

    const std::pair<double, float> dbToWeight[] = {
        { -144.0, 0.0f }, { 0.0, 1.0f }, { -6.0, 0.501187f }, { -20.0, 0.1f }, { -100.0, 1.0e-5f }
    };
    for (auto [db, weight] : dbToWeight)
    {
        panel.weightSliders[2]->setValue (db, juce::sendNotificationSync);
        EXPECT_NEAR (processor.channel_weights[2], weight, weight * 1e-5f) << db;
        EXPECT_EQ (processor.channel_weights[1], 1.0f);
    }

    processor.channel_weights[20] = 0.25f;
    juce::ModifierKeys::currentModifiers = juce::ModifierKeys (juce::ModifierKeys::shiftModifier);
    panel.weightSliders[9]->setValue (-12.0, juce::sendNotificationSync);  // a disabled knob moves all too
    juce::ModifierKeys::currentModifiers = juce::ModifierKeys();
    for (int k = 0; k < 16; ++k)
    {
        EXPECT_FLOAT_EQ (processor.channel_weights[k], std::pow (10.0f, -12.0f / 20.0f)) << k;
        EXPECT_NEAR (panel.weightSliders[(size_t) k]->getValue(), -12.0, 1e-4) << k;
    }
    EXPECT_EQ (processor.channel_weights[20], 0.25f);
}

TEST_F (WeightPanelTest, AllOffAndAllOnSetTheFirstSixteenWeights)
{
    WeightPanel panel (processor);
    processor.channel_weights[16] = 0.5f;
    const std::pair<juce::Button*, float> buttons[] = { { panel.allOffButton, 0.0f }, { panel.allOnButton, 1.0f } };
    for (auto [button, weight] : buttons)
    {
        panel.buttonClicked (button);
        for (int k = 0; k < 16; ++k)
            EXPECT_EQ (processor.channel_weights[k], weight) << k;
        EXPECT_NEAR (panel.weightSliders[0]->getValue(), weight > 0 ? 0.0 : -144.0, 1e-6);
        EXPECT_EQ (processor.channel_weights[16], 0.5f);
    }
}

TEST_F (WeightPanelTest, MetersShowTheInputLevelsOfPresentChannels)
{
    setInputChannels (4);
    WeightPanel panel (processor);
    const float levels[] = { 1.0f, 0.1f, 0.0f, 6.4e-8f, 0.5f };
    for (int i = 0; i < 5; ++i)
        processor.mInputChannelLevels[i] = levels[i];

    panel.timerCallback();
    const float shown[] = { 0.0f, -20.0f, -144.0f, -144.0f, -144.0f };  // channel 5 is not there
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR (panel.channelMeters[(size_t) i]->level, shown[i], 1e-4f) << i;
}
