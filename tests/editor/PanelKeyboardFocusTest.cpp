#include "PanelTestSupport.h"
#include "editor/panels/AdvancedPanel1.h"
#include "editor/panels/TextEditPanel.h"
#include "editor/panels/WeightPanel.h"

#include <gtest/gtest.h>

// Keys must keep reaching the host: no child of a panel wants or takes the keyboard focus on a
// click, except the fields the user types into.
using PanelKeyboardFocus = PanelFixture;

TEST_F (PanelKeyboardFocus, OnlyTypingFieldsTakeTheFocus)
{
    AdvancedPanel1 advanced (processor);
    WeightPanel weights (processor);
    TextEditPanel dialog;

    for (juce::Component* panel : { (juce::Component*) &advanced, (juce::Component*) &weights, (juce::Component*) &dialog })
    {
        EXPECT_FALSE (panel->getWantsKeyboardFocus());
        EXPECT_FALSE (panel->getMouseClickGrabsKeyboardFocus());
        for (auto* child : panel->getChildren())
        {
            SCOPED_TRACE (child->getName());
            const bool typingField = dynamic_cast<juce::TextEditor*> (child) != nullptr;
            EXPECT_EQ (child->getWantsKeyboardFocus(), typingField);
            EXPECT_EQ (child->getMouseClickGrabsKeyboardFocus(), typingField);
        }
    }
}
