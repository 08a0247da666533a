#include "EditorTestSupport.h"
#include "PanelTestSupport.h"
#include "editor/panels/AdvancedPanel1.h"
#include "editor/panels/TextEditPanel.h"
#include "editor/panels/WeightPanel.h"

#include <gtest/gtest.h>

using Panels = PanelFixture;

// Keys reach only what the user chose last: knobs, selectors and typing fields take the focus on
// a click; a click on any other child hands it to the panel, which holds it and uses no keys.
TEST_F (Panels, KnobsSelectorsAndFieldsTakeTheFocusOtherChildrenHandItToThePanel)
{
    AdvancedPanel1 advanced (processor);
    WeightPanel weights (processor);
    TextEditPanel dialog;

    for (juce::Component* panel : { (juce::Component*) &advanced, (juce::Component*) &weights, (juce::Component*) &dialog })
    {
        EXPECT_TRUE (panel->getWantsKeyboardFocus());
        EXPECT_TRUE (panel->getMouseClickGrabsKeyboardFocus());
        EXPECT_FALSE (panel->keyPressed (juce::KeyPress (juce::KeyPress::upKey)));
        for (auto* child : panel->getChildren())
        {
            SCOPED_TRACE (child->getName());
            const bool takesKeys = dynamic_cast<juce::TextEditor*> (child) != nullptr
                || dynamic_cast<juce::ComboBox*> (child) != nullptr || dynamic_cast<juce::Slider*> (child) != nullptr;
            EXPECT_EQ (child->getWantsKeyboardFocus(), takesKeys && child->isEnabled());  // JUCE: never while disabled
            EXPECT_TRUE (child->getMouseClickGrabsKeyboardFocus());
        }
    }
}

TEST_F (Panels, PanelsPaintTheirBackgroundAndSeparators)
{
    AdvancedPanel1 advanced (processor);
    WeightPanel weights (processor);
    TextEditPanel dialog;

    const struct
    {
        juce::Component* panel;
        std::vector<juce::uint32> fills;
        int lines;
    } panels[] = {
        { &advanced, { 0xff2c2c30 }, 8 },
        { &weights, { 0xff2c2c30 }, 2 },
        { &dialog, { 0xff2c2c30, 0x802d7180 }, 0 },
    };
    for (const auto& p : panels)
    {
        RecordingContext context (p.panel->getLocalBounds());
        juce::Graphics g (context);
        p.panel->paint (g);
        ASSERT_EQ (context.fills.size(), p.fills.size());
        for (size_t i = 0; i < p.fills.size(); ++i)
        {
            EXPECT_EQ (context.fills[i].fill.colour.getARGB(), p.fills[i]);
            EXPECT_EQ (context.fills[i].area, p.panel->getLocalBounds().toFloat());
        }
        EXPECT_EQ (context.paths, p.lines);
    }
}
