// Tests that need a real window: run them under xvfb-run (CTest: editor_windowed_tests).

#include "EditorTestSupport.h"
#include "PanelTestSupport.h"
#include "editor/lnf/ForcePopupsInParentWindow.h"
#include "editor/panels/AdvancedPanel1.h"
#include "editor/panels/WeightPanel.h"
#include "editor/widgets/ComboBox_IgnoreKeys.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
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

namespace
{
    class WindowedSettingsSelectors : public PanelFixture
    {
    };

    void click (juce::Component& target)
    {
        auto* peer = target.getPeer();
        const auto at = peer->getComponent().getLocalPoint (&target, target.getLocalBounds().getCentre()).toFloat();
        for (auto buttons : { juce::ModifierKeys::leftButtonModifier, juce::ModifierKeys::noModifiers })
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, buttons,
                                    juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                    juce::Time::currentTimeMillis());
        pumpPendingMessages (1000);  // a selector's menu opens on the next turn of the loop
        juce::PopupMenu::dismissAllActiveMenus();
        pumpPendingMessages (1000);
    }
}

// The settings panels' selectors take the focus on a click and step with the arrow keys; their
// knobs and buttons take no focus, so keys go on to the host.
TEST_F (WindowedSettingsSelectors, SelectorsStepWithArrowKeysKnobsAndButtonsLeaveKeysToTheHost)
{
    if (skipWithoutDisplay())
        GTEST_SKIP() << "no display";

    setInputChannels (8);
    KeyRecordingWindow window;
    window.setSize (1440, 420);
    AdvancedPanel1 advanced (processor);
    WeightPanel weights (processor);
    advanced.setBounds (0, 0, 700, 380);
    weights.setBounds (710, 0, 720, 400);
    window.addAndMakeVisible (advanced);
    window.addAndMakeVisible (weights);
    pumpPendingMessages (1000);
    auto* peer = window.getPeer();
    ASSERT_NE (peer, nullptr);

    // Selector, and what one step down leaves in the processor.
    const std::pair<juce::ComboBox*, std::function<float()>> selectors[] = {
        { advanced.filterTypeCombo.get(), [this] { return processor.mParams[BPFilterType].load(); } },
        { advanced.progChangeModeCombo.get(), [this] { return (float) processor.midi_progr_change_mode; } },
        { advanced.midiChannelCombo.get(), [this] { return (float) processor.midi_progr_change_channel; } },
        { weights.formatCombo, [this] { return (float) processor.inputFormat; } },
    };
    const float afterStep[] = { 0.1f, 1.0f, 0.0f, 13.0f };

    for (size_t i = 0; i < std::size (selectors); ++i)
    {
        auto& [combo, value] = selectors[i];
        SCOPED_TRACE (combo->getName() + " " + juce::String ((int) i));
        click (*combo);
        ASSERT_TRUE (combo->hasKeyboardFocus (false));
        const auto seen = window.keysSeen.size();
        EXPECT_TRUE (peer->handleKeyPress (juce::KeyPress (juce::KeyPress::downKey)));
        pumpPendingMessages (1000);
        EXPECT_FLOAT_EQ (value(), afterStep[i]);
        EXPECT_EQ (window.keysSeen.size(), seen);
    }

    for (juce::Component* control :
         { (juce::Component*) advanced.lookaheadSlider.get(), (juce::Component*) advanced.midiFromDawToggle.get(),
           (juce::Component*) weights.weightSliders[0], (juce::Component*) weights.allOnButton })
    {
        SCOPED_TRACE (control->getName());
        window.grabKeyboardFocus();
        click (*control);
        EXPECT_FALSE (control->hasKeyboardFocus (true));
        EXPECT_FALSE (peer->handleKeyPress (juce::KeyPress ('a', {}, 'a')));
        EXPECT_EQ (window.keysSeen.getLast(), juce::KeyPress ('a', {}, 'a'));
    }
}
