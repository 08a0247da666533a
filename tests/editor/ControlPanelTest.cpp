#include "EditorTestSupport.h"
#include "OpenEditor.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace
{
    // What each generated child shows and where it sits at 800 × 600, in creation order.
    struct ChildRow
    {
        const char* name;
        const char* text;
        int x, y, w, h;
    };
    const ChildRow childRows[ControlPanel::numChildren] = {
        { "new label", "CLASS A", 504, 185, 53, 14 },
        { "new label", "CLASS AB", 603, 185, 53, 14 },
        { "new label", "DISTORT", 698, 185, 53, 14 },
        { "lookahead slider", "", 684, 86, 82, 91 },
        { "new label", "THRESHOLD", 46, 238, 107, 24 },
        { "new label", "0", 46, 559, 46, 24 },
        { "new combo box1", "", 83, 149, 67, 22 },
        { "mixmode combo", "", 37, 117, 114, 24 },
        { "right_is_zero_slider", "", 42, 280, 102, 114 },
        { "release slider", "", 162, 280, 102, 114 },
        { "autogain button", "", 512, 410, 40, 39 },
        { "attack slider", "", 274, 280, 102, 114 },
        { "lookahead slider", "", 488, 86, 82, 91 },
        { "new component", "", 455, 522, 21, 24 },
        { "new component", "", 480, 522, 21, 24 },
        { "new component", "", 505, 522, 21, 24 },
        { "new component", "", 529, 522, 21, 24 },
        { "new component", "", 555, 522, 21, 24 },
        { "new component", "", 581, 522, 21, 24 },
        { "new component", "", 431, 522, 21, 24 },
        { "new component", "", 606, 522, 21, 24 },
        { "new component", "", 406, 522, 21, 24 },
        { "new component", "", 381, 522, 21, 24 },
        { "new label", "RELEASE", 182, 238, 85, 24 },
        { "new label", "ATTACK", 299, 238, 85, 24 },
        { "new label", "MODE", 37, 90, 60, 24 },
        { "new component", "", 355, 522, 21, 24 },
        { "new component", "", 328, 522, 21, 24 },
        { "new component", "", 305, 522, 21, 24 },
        { "new component", "", 280, 522, 21, 24 },
        { "new component", "", 255, 522, 21, 24 },
        { "ratio slider", "", 392, 280, 102, 114 },
        { "mid_is_zero_slider", "", 505, 280, 102, 114 },
        { "new label", "RATIO", 422, 238, 85, 24 },
        { "new label", "MAKEUP", 529, 238, 75, 24 },
        { "autogain button", "", 165, 410, 40, 39 },
        { "autogain button", "", 42, 410, 40, 39 },
        { "new component", "", 231, 522, 21, 24 },
        { "new component", "", 206, 522, 21, 24 },
        { "new component", "", 181, 522, 21, 24 },
        { "new component", "", 158, 522, 21, 24 },
        { "new component", "", 131, 522, 21, 24 },
        { "new label", "10", 381, 559, 32, 24 },
        { "new label", "20", 131, 559, 32, 24 },
        { "new label", "5", 507, 559, 32, 24 },
        { "new label", "15", 255, 559, 32, 24 },
        { "sat button", "", 417, 95, 40, 39 },
        { "new label", "server", 16, 600, 48, 8 },
        { "new label", "MAX GR", 42, 523, 51, 24 },
        { "mid_is_zero_slider", "", 619, 280, 102, 114 },
        { "new label", "MIX", 654, 238, 46, 24 },
        { "autogain button", "", 280, 410, 40, 39 },
        { "autogain button", "", 638, 410, 40, 39 },
        { "autogain button", "", 512, 450, 40, 39 },
        { "lookahead slider", "", 586, 86, 82, 91 },
        { "adv btn", "ADVANCED", 600, 22, 120, 39 },
        { "lookahead slider", "", 171, 99, 82, 91 },
        { "sat button", "", 324, 95, 40, 39 },
        { "sat button", "", 324, 136, 40, 39 },
        { "new label", "BP FILTER", 264, 103, 52, 24 },
        { "new label", "LISTEN", 264, 144, 52, 24 },
        { "new label", "TUBE-DISTORT", 394, 136, 82, 24 },
        { "new label", "ADAPTIVE", 85, 424, 72, 18 },
        { "new label", "NON LINEAR", 206, 424, 72, 18 },
        { "new label", "SMOOTH", 324, 424, 72, 18 },
        { "new label", "AUTO GAIN", 553, 423, 75, 18 },
        { "new label", "MAX MAKEUP", 553, 462, 75, 18 },
        { "new label", "MAKEUP LIMIT", 680, 423, 75, 18 },
        { "btn", "?", 545, 22, 40, 39 },
        { "btn", "W", 485, 22, 40, 39 },
        { "presets_combo", "", 295, 22, 174, 39 },
        { "new component", "", 449, 98, 334, 98 },
        { "new label", "GROUP", 37, 149, 46, 24 },
        { "new component", "", 122, 92, 15, 17 },
        { "autogain button", "", 638, 454, 40, 39 },
        { "new label", "BRICK LIMIT", 680, 462, 66, 18 },
        { "new component", "", 758, 462, 15, 18 },
        { "new component", "", 740, 527, 15, 18 },
        { "new label", "---", 693, 559, 58, 24 },
        { "BrisaltoBtn", "new button", 20, 6, 254, 49 },
        { "new label", "CLIP", 698, 523, 42, 24 },
        { "clipresetbtn", "new button", 674, 517, 98, 78 },
        { "sat button", "", 117, 174, 37, 31 },
        { "new label", "SYNC PARS", 37, 177, 69, 24 },
    };

    juce::String textOf (juce::Component& c)
    {
        if (auto* label = dynamic_cast<juce::Label*> (&c))
            return label->getText();
        if (auto* button = dynamic_cast<juce::Button*> (&c))
            return button->getButtonText();
        return {};
    }

    std::vector<juce::Label*> directLabels (ControlPanel& panel)
    {
        std::vector<juce::Label*> labels;
        for (auto* child : panel.getChildren())
            if (auto* label = dynamic_cast<juce::Label*> (child))
                labels.push_back (label);
        return labels;
    }

    void expectDesignLayout (ControlPanel& panel)
    {
        const auto children = panel.children();
        ASSERT_EQ (children.size(), (size_t) ControlPanel::numChildren);
        for (size_t i = 0; i < children.size(); ++i)
        {
            const auto& row = childRows[i];
            EXPECT_EQ (children[i]->getBounds(), juce::Rectangle<int> (row.x, row.y, row.w, row.h)) << "child " << i + 1;
        }
        EXPECT_EQ (panel.advancedPanel->getBounds(), juce::Rectangle<int> (45, 120, 700, 385));
        EXPECT_EQ (panel.backdropLabel->getBounds(), juce::Rectangle<int> (0, 80, 800, 520));
        EXPECT_EQ (panel.weightPanel->getBounds(), brisalto::PanelLayout::scaledPlace ({ 35, 100, 720, 405 }, panel, 800, 600));
    }
}

TEST (ControlPanel, ChildrenAtTheDesignSize)
{
    OpenEditor open;
    auto& panel = open.panel();
    expectDesignLayout (panel);

    const auto children = panel.children();
    for (size_t i = 0; i < children.size(); ++i)
    {
        EXPECT_EQ (children[i]->getName(), childRows[i].name) << "child " << i + 1;
        EXPECT_EQ (textOf (*children[i]), childRows[i].text) << "child " << i + 1;
        EXPECT_EQ (children[i]->getParentComponent(), &panel) << "child " << i + 1;
    }

    // Entry i of the ladder stands for i + 1 dB: right to left.
    for (int i = 1; i < ControlPanel::numLadderLeds; ++i)
        EXPECT_LT ((*panel.grLadder[(size_t) i])->getX(), (*panel.grLadder[(size_t) i - 1])->getX()) << i;
    EXPECT_EQ ((*panel.grLadder[0])->getX(), 606);
    EXPECT_EQ ((*panel.grLadder[19])->getX(), 131);
}

TEST (ControlPanel, FontsFollowTheSmallerScaleBelowTheDesignSizeOnly)
{
    struct Row
    {
        int w, h;
        float mainFont, textBoxFont, label12, label17;
        juce::Rectangle<int> classA;
    };
    const Row rows[] = {
        { 800, 600, 17.0f, 14.0f, 12.0f, 17.0f, { 504, 185, 53, 14 } },
        { 640, 480, 14.1f, 11.7f, 10.1f, 14.1f, { 404, 148, 42, 11 } },
        { 1000, 500, 14.666667f, 12.166667f, 10.5f, 14.666667f, { 630, 154, 66, 11 } },
        { 1200, 900, 17.0f, 14.0f, 12.0f, 17.0f, { 757, 277, 79, 20 } },
        { 400, 300, 9.0f, 7.5f, 6.5f, 9.0f, { 252, 92, 26, 7 } },
    };

    OpenEditor open;
    auto& panel = open.panel();
    for (const auto& row : rows)
    {
        SCOPED_TRACE (juce::String (row.w) + " x " + juce::String (row.h));
        panel.setSize (row.w, row.h);
        EXPECT_FLOAT_EQ (panel.panelLookAndFeel.mainFont.getHeight(), row.mainFont);
        EXPECT_FLOAT_EQ (panel.panelLookAndFeel.textBoxFont.getHeight(), row.textBoxFont);
        EXPECT_FLOAT_EQ (panel.classALabel->getFont().getHeight(), row.label12);
        EXPECT_FLOAT_EQ (panel.thresholdLabel->getFont().getHeight(), row.label17);
        EXPECT_EQ (panel.classALabel->getFont().getTypefaceStyle(), "Regular");
        EXPECT_EQ (panel.classALabel->getBounds(), row.classA);
        EXPECT_EQ (panel.weightPanel->getBounds(), brisalto::PanelLayout::scaledPlace ({ 35, 100, 720, 405 }, panel, 800, 600));
    }
}

TEST (ControlPanel, ResizingBackAndForthLeavesNoDrift)
{
    OpenEditor open;
    auto& panel = open.panel();
    std::map<juce::Label*, float> constructed;
    for (auto* label : directLabels (panel))
        constructed[label] = label->getFont().getHeight();
    EXPECT_EQ (panel.labelFontHeights, constructed);
    EXPECT_EQ (constructed.size(), 33u);  // 31 generated labels, the status line and the backdrop

    for (const auto& size :
         { juce::Point<int> (640, 480), juce::Point<int> (1200, 900), juce::Point<int> (640, 480), juce::Point<int> (800, 600) })
        panel.setSize (size.x, size.y);

    expectDesignLayout (panel);
    for (auto* label : directLabels (panel))
        EXPECT_FLOAT_EQ (label->getFont().getHeight(), constructed[label]) << label->getText();
}

TEST (ControlPanel, KnobRangesSkewsAndDoubleClickValues)
{
    OpenEditor open;
    auto& p = open.panel();
    struct Row
    {
        juce::Slider* knob;
        double minimum, maximum, interval, skew;
        int focusOrder;
        bool doubleClick;
        double doubleClickValue;
    };
    const Row rows[] = {
        { p.thresholdSlider.get(), -50, 0, 0.1, 1, 0, false, 0 },
        { p.releaseSlider.get(), 5, 4000, 1, 0.35, 1, false, 0 },
        { p.attackSlider.get(), 0, 50, 0.01, 0.5, 1, false, 0 },
        { p.ratioSlider.get(), 1, 10.5, 0.1, 1, 1, false, 0 },
        { p.makeupGainSlider.get(), -30, 30, 0.1, 1, 1, true, 0 },
        { p.mixSlider.get(), -100, 100, 0.1, 1, 1, true, 0 },  // the refresh retargets it: MIX opens at 100
        { p.distortAmountSlider.get(), 0, 100, 0.01, 0.4, 1, false, 0 },
        { p.classAAmountSlider.get(), 0, 100, 0.01, 0.4, 1, false, 0 },
        { p.classABAmountSlider.get(), 0, 100, 0.01, 0.4, 1, false, 0 },
        { p.filterFreqSlider.get(), 50, 20000, 1, 0.2, 1, false, 0 },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.knob->getName());
        EXPECT_EQ (row.knob->getMinimum(), row.minimum);
        EXPECT_EQ (row.knob->getMaximum(), row.maximum);
        EXPECT_EQ (row.knob->getInterval(), row.interval);
        EXPECT_EQ (row.knob->getSkewFactor(), row.skew);
        EXPECT_FALSE (row.knob->isSymmetricSkew());
        EXPECT_EQ (row.knob->getExplicitFocusOrder(), row.focusOrder);
        EXPECT_EQ (row.knob->getSliderStyle(), juce::Slider::RotaryHorizontalVerticalDrag);
        EXPECT_EQ (row.knob->getTextBoxPosition(), juce::Slider::TextBoxBelow);
        EXPECT_FALSE (row.knob->isTextBoxEditable() == false);
        EXPECT_EQ (row.knob->getTextBoxWidth(), 50);
        EXPECT_EQ (row.knob->getTextBoxHeight(), 16);
        EXPECT_EQ (row.knob->isDoubleClickReturnEnabled(), row.doubleClick);
        if (row.doubleClick)
        {
            EXPECT_EQ (row.knob->getDoubleClickReturnValue(), row.doubleClickValue);
        }
    }
}

TEST (ControlPanel, VisibilityLedColoursAndSelectorItems)
{
    OpenEditor open;
    auto& p = open.panel();

    // Hidden at the end of construction; the refresh alone decides about the server label and
    // the W button, the meters' first step about the group LED.
    const std::set<juce::Component*> hidden { p.backdropLabel.get(), p.advancedPanel.get(), p.weightPanel.get(),
                                              p.saveDialog.get(),    p.smoothToggle.get(),  p.smoothLabel.get() };
    const std::set<juce::Component*> refreshed { p.serverLabel.get(), p.weightButton.get(), p.groupLed.get() };
    for (auto* child : p.getChildren())
    {
        if (refreshed.count (child) == 0)
        {
            EXPECT_EQ (child->isVisible(), hidden.count (child) == 0) << child->getName();
        }
    }

    for (auto* led : p.grLadder)
        EXPECT_EQ ((*led)->getLedColor(), BlinkingLed::ledCyan);
    EXPECT_EQ (p.brickLimitLed->getLedColor(), BlinkingLed::ledAmber);
    EXPECT_EQ (p.clipLed->getLedColor(), BlinkingLed::ledRed);
    EXPECT_EQ (p.groupLed->getLedColor(), BlinkingLed::ledBlue);

    EXPECT_TRUE (p.weightButton->getClickingTogglesState());
    EXPECT_TRUE (p.advancedButton->getClickingTogglesState());
    EXPECT_EQ (p.autoGainToggle->getTooltip(), "allows to compare the real compression without gain increase");
    EXPECT_EQ (p.saveDialog->textEditor->getText(), "my best preset ever");
    EXPECT_TRUE (p.logoButton->getNormalImage().isValid());
    EXPECT_FALSE (p.clipResetButton->getNormalImage().isValid());

    const auto itemsOf = [] (juce::ComboBox& combo)
    {
        juce::StringArray items;
        for (int i = 0; i < combo.getNumItems(); ++i)
            items.add (combo.getItemText (i) + "=" + juce::String (combo.getItemId (i)));
        return items.joinIntoString (" ");
    };
    EXPECT_EQ (itemsOf (*p.groupCombo), "OFF=1 1=2 2=3 3=4 4=5 5=6 6=7 7=8 8=9 9=10 10=11 11=12 12=13 13=14 14=15 15=16");
    EXPECT_EQ (itemsOf (*p.presetsCombo), "Copy factory presets=5 Add preset=1 Save as Default=3");
    EXPECT_EQ (p.presetsCombo->getTextWhenNothingSelected(), "Presets");
    EXPECT_EQ (p.groupCombo->getTextWhenNoChoicesAvailable(), "(no choices)");
}

TEST (ControlPanel, MixModesOfPlugInsAndTheStandalone)
{
    using Type = juce::AudioProcessor::WrapperType;
    const std::pair<Type, const char*> rows[] = {
        { Type::wrapperType_VST3, "multi-mono=1 sum=2 side=3 side MIDI=6" },
        { Type::wrapperType_LV2, "multi-mono=1 sum=2 side=3 side MIDI=6" },
        { Type::wrapperType_Standalone, "multi-mono=1 sum=2 side MIDI=6" },
    };

    for (const auto& [type, expected] : rows)
    {
        juce::AudioProcessor::setTypeOfNextNewPlugin (type);
        OpenEditor open;
        juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
        auto& combo = *open.panel().mixModeCombo;
        juce::StringArray items;
        for (int i = 0; i < combo.getNumItems(); ++i)
            items.add (combo.getItemText (i) + "=" + juce::String (combo.getItemId (i)));
        EXPECT_EQ (items.joinIntoString (" "), expected) << type;
        pumpPendingMessages (1000);
    }
}

// Knobs take the focus on a click; toggles, buttons and the key-refusing selectors hand it to
// the panel, which holds it and passes every key on towards the host.
TEST (ControlPanel, KnobsTakeTheFocusOtherControlsHandItToThePanel)
{
    OpenEditor open;
    auto& panel = open.panel();
    EXPECT_TRUE (panel.getWantsKeyboardFocus());
    EXPECT_TRUE (panel.getMouseClickGrabsKeyboardFocus());
    int controls = 0;
    for (auto* child : panel.children())
    {
        const bool knob = dynamic_cast<juce::Slider*> (child) != nullptr;
        const bool control =
            knob || dynamic_cast<juce::Button*> (child) != nullptr || dynamic_cast<juce::ComboBox*> (child) != nullptr;
        if (! control)
            continue;
        ++controls;
        EXPECT_EQ (child->getWantsKeyboardFocus(), knob && child->isEnabled()) << child->getName();  // JUCE: never while disabled
        EXPECT_TRUE (child->getMouseClickGrabsKeyboardFocus()) << child->getName();
    }
    EXPECT_EQ (controls, 10 + 11 + 5 + 3);  // knobs, toggles, buttons, combo boxes

    for (const auto& key : { juce::KeyPress (juce::KeyPress::spaceKey), juce::KeyPress ('a'),
                             juce::KeyPress (juce::KeyPress::returnKey), juce::KeyPress (juce::KeyPress::upKey) })
        EXPECT_FALSE (panel.keyPressed (key));
}

TEST (ControlPanel, PaintsHeaderBandBackgroundAndLines)
{
    OpenEditor open;
    auto& panel = open.panel();
    RecordingContext context (panel.getLocalBounds());
    juce::Graphics g (context);
    panel.paint (g);

    ASSERT_GE (context.fills.size(), 2u);
    EXPECT_EQ (context.fills[0].area, panel.getLocalBounds().toFloat());
    EXPECT_EQ (context.fills[0].fill.colour, juce::Colour (0xff2c2c30));
    EXPECT_EQ (context.fills[1].area, juce::Rectangle<float> (0, 0, 800, 80));
    EXPECT_EQ (context.fills[1].fill.colour, juce::Colour (0xff2d7180));
    EXPECT_EQ (context.paths, 3);
}
