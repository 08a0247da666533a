// Tests that need a real window: run them under xvfb-run (CTest: editor_windowed_tests).

#include "EditorTestSupport.h"
#include "OpenEditor.h"
#include "PanelTestSupport.h"
#include "common/TestSupport.h"
#include "editor/lnf/ForcePopupsInParentWindow.h"
#include "editor/panels/AdvancedPanel1.h"
#include "editor/panels/WeightPanel.h"
#include "editor/widgets/ComboBox_IgnoreKeys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

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

    // A menu opens at once; the checks come before any message is dispatched, as the menu's timer
    // dismisses it whenever the X server has not yet told this process it is the active one.
    menu.showMenuAsync (juce::PopupMenu::Options().withParentComponent (&window).withTargetScreenArea ({ 10, 10, 20, 20 }));
    EXPECT_EQ (window.getNumChildComponents(), 1);
    EXPECT_EQ (juce::Desktop::getInstance().getNumComponents(), desktopWindows);
    juce::PopupMenu::dismissAllActiveMenus();
    pumpPendingMessages (1000);

    menu.showMenuAsync (juce::PopupMenu::Options().withTargetScreenArea ({ 10, 10, 20, 20 }));
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

// The settings panels' selectors and knobs take the focus on a click and step with the arrow
// keys; their buttons and toggles take no focus, so keys go on to the host.
TEST_F (WindowedSettingsSelectors, SelectorsAndKnobsStepWithArrowKeysButtonsLeaveKeysToTheHost)
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

    // Selector or knob, and what one step down leaves in the processor.
    const std::pair<juce::Component*, std::function<float()>> steppers[] = {
        { advanced.filterTypeCombo.get(), [this] { return processor.mParams[BPFilterType].load(); } },
        { advanced.progChangeModeCombo.get(), [this] { return (float) processor.midi_progr_change_mode; } },
        { advanced.midiChannelCombo.get(), [this] { return (float) processor.midi_progr_change_channel; } },
        { weights.formatCombo, [this] { return (float) processor.inputFormat; } },
        { advanced.filterQSlider.get(), [this] { return processor.mParams[BPFilterQ].load(); } },
        { weights.weightSliders[0], [this] { return processor.channel_weights[0].load(); } },
    };
    const float afterStep[] = { 0.1f, 1.0f, 0.0f, 13.0f, 0.09f, std::pow (10.0f, -0.1f / 20.0f) };

    processor.mParams[BPFilterQ] = 0.1f;
    advanced.update_UI();
    for (size_t i = 0; i < std::size (steppers); ++i)
    {
        auto& [control, value] = steppers[i];
        SCOPED_TRACE (control->getName() + " " + juce::String ((int) i));
        click (*control);
        ASSERT_TRUE (control->hasKeyboardFocus (false));
        const auto seen = window.keysSeen.size();
        EXPECT_TRUE (peer->handleKeyPress (juce::KeyPress (juce::KeyPress::downKey)));
        pumpPendingMessages (1000);
        EXPECT_NEAR (value(), afterStep[i], 1e-6f);
        EXPECT_EQ (window.keysSeen.size(), seen);
    }

    for (juce::Component* control :
         { (juce::Component*) advanced.midiFromDawToggle.get(), (juce::Component*) weights.allOnButton })
    {
        SCOPED_TRACE (control->getName());
        click (*advanced.filterTypeCombo);
        click (*control);
        EXPECT_FALSE (control->hasKeyboardFocus (true));
        EXPECT_TRUE (control->getParentComponent()->hasKeyboardFocus (false));
        EXPECT_FALSE (peer->handleKeyPress (juce::KeyPress ('a', {}, 'a')));
        EXPECT_EQ (window.keysSeen.getLast(), juce::KeyPress ('a', {}, 'a'));
    }
}

namespace
{
    std::vector<float> parametersOf (BrisaltoAudioProcessor& processor)
    {
        std::vector<float> values;
        for (int i = 0; i < processor.getNumParameters(); ++i)
            values.push_back (processor.getParameter (i));
        return values;
    }
}

// The keys reach only the shown control the user chose last, which the look-and-feel outlines;
// once a settings panel or the name dialog closes, the main panel holds the focus and the arrow
// keys move nothing.
TEST (WindowedEditorFocus, KeysReachOnlyTheShownControlChosenLast)
{
    if (skipWithoutDisplay())
        GTEST_SKIP() << "no display";

    ScopedXdgFolders folders;
    OpenEditor open;
    open.editor->addToDesktop (juce::ComponentPeer::windowIsTemporary);
    open.editor->setVisible (true);
    pumpPendingMessages (1000);
    auto& panel = open.panel();
    auto* peer = open.editor->getPeer();
    ASSERT_NE (peer, nullptr);
    HostRecorder host (open.processor);

    const auto upMovesNothing = [&]
    {
        const auto before = parametersOf (open.processor);
        host.events.clear();
        peer->handleKeyPress (juce::KeyPress (juce::KeyPress::upKey));
        pumpPendingMessages (1000);
        return parametersOf (open.processor) == before && host.events.empty();
    };

    {
        SCOPED_TRACE ("ADVANCED closed after its filter type was chosen");
        open.processor.setParameter (BPFilterOn, 1.0f);  // the filter type is chosen while the filter is on
        panel.update_UI();
        panel.advancedButton->setToggleState (true, juce::sendNotificationSync);
        click (*panel.advancedPanel->filterTypeCombo);
        ASSERT_TRUE (panel.advancedPanel->filterTypeCombo->hasKeyboardFocus (false));
        panel.advancedButton->setToggleState (false, juce::sendNotificationSync);
        EXPECT_TRUE (panel.hasKeyboardFocus (false));
        EXPECT_TRUE (upMovesNothing());
    }
    {
        SCOPED_TRACE ("name dialog cancelled");
        panel.presetsCombo->setSelectedId (brisalto::PresetMenu::addPreset, juce::sendNotificationSync);
        panel.timerCallback();
        ASSERT_TRUE (panel.saveDialog->textEditor->hasKeyboardFocus (false));
        click (*panel.saveDialog->cancelButton);
        ASSERT_FALSE (panel.saveDialog->isVisible());
        EXPECT_TRUE (panel.hasKeyboardFocus (false));
        EXPECT_TRUE (upMovesNothing());
    }

    const auto outlines = [] (juce::Slider& knob)
    {
        RecordingContext context (knob.getLocalBounds());
        juce::Graphics g (context);
        knob.paint (g);
        return context.paths;
    };
    auto& knob = *panel.thresholdSlider;
    {
        SCOPED_TRACE ("a clicked knob");
        EXPECT_EQ (outlines (knob), 0);
        click (knob);
        ASSERT_TRUE (knob.hasKeyboardFocus (false));
        EXPECT_EQ (outlines (knob), 1);
        const auto before = knob.getValue();
        host.events.clear();  // the click's own gesture
        EXPECT_TRUE (peer->handleKeyPress (juce::KeyPress (juce::KeyPress::upKey)));
        EXPECT_NEAR (knob.getValue(), before + 0.1, 1e-9);
        ASSERT_EQ (host.events.size(), 3u);
        std::string kinds;
        for (const auto& event : host.events)
            kinds += event.kind;
        EXPECT_EQ (kinds, "bve");
    }
    {
        SCOPED_TRACE ("a click on a caption");
        click (*panel.thresholdLabel);
        EXPECT_TRUE (panel.hasKeyboardFocus (false));
        EXPECT_EQ (outlines (knob), 0);
        EXPECT_TRUE (upMovesNothing());
    }
}
