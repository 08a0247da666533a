// Tests that need a real window: run them under xvfb-run (CTest: editor_windowed_tests).

#include "EditorTestSupport.h"
#include "editor/lnf/ForcePopupsInParentWindow.h"
#include "editor/widgets/ComboBox_IgnoreKeys.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
    struct KeyRecordingWindow final : juce::Component
    {
        KeyRecordingWindow()
        {
            setBounds (0, 0, 300, 200);
            setWantsKeyboardFocus (true);
            addToDesktop (juce::ComponentPeer::windowIsTemporary);
            setVisible (true);
        }

        bool keyPressed (const juce::KeyPress& key) override
        {
            keysSeen.add (key);
            return false;
        }

        juce::Array<juce::KeyPress> keysSeen;
    };

    bool skipWithoutDisplay()
    {
        return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr;
    }
}

TEST (WindowedPopupMenu, OpensInsideTheNamedParentElseInAWindowOfItsOwn)
{
    if (skipWithoutDisplay())
        GTEST_SKIP() << "no display";

    ForcePopupsInParentWindow lnf;
    KeyRecordingWindow window;
    const auto desktopWindows = juce::Desktop::getInstance().getNumComponents();

    juce::PopupMenu menu;
    menu.setLookAndFeel (&lnf);
    menu.addItem (1, "one");

    menu.showMenuAsync (juce::PopupMenu::Options().withParentComponent (&window).withTargetScreenArea ({ 10, 10, 20, 20 }));
    pumpPendingMessages (1000);
    EXPECT_EQ (window.getNumChildComponents(), 1);
    EXPECT_EQ (juce::Desktop::getInstance().getNumComponents(), desktopWindows);
    juce::PopupMenu::dismissAllActiveMenus();
    pumpPendingMessages (1000);

    menu.showMenuAsync (juce::PopupMenu::Options().withTargetScreenArea ({ 10, 10, 20, 20 }));
    pumpPendingMessages (1000);
    EXPECT_EQ (window.getNumChildComponents(), 0);
    EXPECT_EQ (juce::Desktop::getInstance().getNumComponents(), desktopWindows + 1);
    juce::PopupMenu::dismissAllActiveMenus();
    pumpPendingMessages (1000);
}

TEST (WindowedComboBox_IgnoreKeys, FocusedComboHandsKeysOnToItsParent)
{
    if (skipWithoutDisplay())
        GTEST_SKIP() << "no display";

    KeyRecordingWindow window;
    ComboBox_IgnoreKeys ignoring ("presets_combo");
    juce::ComboBox plain ("FORMAT");

    for (auto* combo : { static_cast<juce::ComboBox*> (&ignoring), &plain })
    {
        combo->addItemList ({ "one", "two", "three" }, 1);
        combo->setSelectedId (2, juce::dontSendNotification);
        combo->setBounds (10, 10 + (combo == &plain ? 40 : 0), 120, 24);
        window.addAndMakeVisible (combo);
    }

    auto* peer = window.getPeer();
    ASSERT_NE (peer, nullptr);

    ignoring.grabKeyboardFocus();
    ASSERT_TRUE (ignoring.hasKeyboardFocus (false));

    for (int key : { juce::KeyPress::returnKey, juce::KeyPress::downKey, (int) 'a', juce::KeyPress::spaceKey })
    {
        EXPECT_FALSE (peer->handleKeyPress (juce::KeyPress (key))) << key;
        EXPECT_EQ (window.keysSeen.getLast(), juce::KeyPress (key));
    }
    pumpPendingMessages (1000);
    EXPECT_EQ (ignoring.getSelectedId(), 2);
    EXPECT_FALSE (ignoring.isPopupActive());

    // Tab is JUCE's focus traversal, with or without this class.
    EXPECT_TRUE (peer->handleKeyPress (juce::KeyPress (juce::KeyPress::tabKey)));

    plain.grabKeyboardFocus();
    const auto seen = window.keysSeen.size();
    EXPECT_TRUE (peer->handleKeyPress (juce::KeyPress (juce::KeyPress::downKey)));
    EXPECT_EQ (plain.getSelectedId(), 3);
    EXPECT_EQ (window.keysSeen.size(), seen);
}
