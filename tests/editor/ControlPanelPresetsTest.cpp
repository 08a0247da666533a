// The main panel's preset selector and the preset-name dialog, on a store in temporary folders.

#include "EditorTestSupport.h"
#include "OpenEditor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <utility>

namespace
{
    class PanelPresets : public ::testing::Test
    {
    protected:
        PanelPresets()
        {
            folders.presetFolder().createDirectory();
            resources.createDirectory();
            open = std::make_unique<OpenEditor>();
            panel().factoryPresetFolder = resources;
        }

        ControlPanel& panel() { return open->panel(); }
        BrisaltoAudioProcessor& processor() { return open->processor; }
        juce::ComboBox& combo() { return *panel().presetsCombo; }
        TextEditPanel& dialog() { return *panel().saveDialog; }
        juce::File presetFile (const juce::String& name) { return folders.presetFolder().getChildFile (name + ".json"); }

        // A pick from the pop-up: the selection changes now, the listener hears of it later.
        void pick (int id, const std::function<void()>& meanwhile = {})
        {
            combo().setSelectedId (id, juce::sendNotificationAsync);
            if (meanwhile)
                meanwhile();
            pumpPendingMessages();
        }

        void edit (float ratio)
        {
            processor().setParameter (Ratio, ratio);
            panel().updateUserPresets();
        }

        bool offered (int id) { return combo().indexOfItemId (id) >= 0; }
        void clickOk() { dialog().buttonClicked (dialog().okButton.get()); }
        void clickCancel() { dialog().buttonClicked (dialog().cancelButton.get()); }

        ScopedXdgFolders folders;
        juce::File resources { folders.root.getChildFile ("Resources") };
        std::unique_ptr<OpenEditor> open;
    };
}

TEST_F (PanelPresets, CommandsChangeFilesCurrentPresetAndModifiedFlag)
{
    auto& p = processor();
    ASSERT_TRUE (p.writeUserPreset ("A"));
    ASSERT_TRUE (p.writeUserPreset ("B"));
    edit (0.9f);
    EXPECT_TRUE (offered (brisalto::PresetMenu::savePreset) && offered (brisalto::PresetMenu::removePreset));
    EXPECT_EQ (combo().getText(), "* B *");

    pick (brisalto::PresetMenu::savePreset);
    juce::MemoryBlock state;
    p.getStateInformation (state);
    EXPECT_EQ (presetFile ("B").loadFileAsString(), state.toString());
    EXPECT_EQ (p.mUserPresetModified.load(), 0);
    EXPECT_EQ (combo().getSelectedId(), 7);
    EXPECT_FALSE (offered (brisalto::PresetMenu::savePreset));

    pick (6);
    EXPECT_EQ (p.getCurrentUserPreset(), "A");
    EXPECT_FLOAT_EQ (p.mParams[Ratio].load(), brisalto::ParameterTable::defaultValue (Ratio));
    EXPECT_EQ (combo().getSelectedId(), 6);

    edit (0.8f);
    pick (brisalto::PresetMenu::saveAsDefault);
    EXPECT_TRUE (folders.presetFolder().getChildFile ("BrisaltoDefault.json").existsAsFile());
    EXPECT_EQ (p.getCurrentUserPresetIndex(), -1);
    EXPECT_EQ (combo().getSelectedId(), 0);
    EXPECT_FALSE (offered (brisalto::PresetMenu::savePreset) || offered (brisalto::PresetMenu::removePreset));

    pick (6);
    pick (brisalto::PresetMenu::removePreset);
    EXPECT_FALSE (presetFile ("A").exists());
    EXPECT_EQ (p.getUserPresetNames(), std::set<juce::String> { "B" });
    EXPECT_EQ (p.getCurrentUserPresetIndex(), -1);

    // Copying adds the missing names and leaves the current preset and the edits alone.
    pick (6);
    edit (0.7f);
    juce::MemoryBlock chunk;
    p.getStateInformation (chunk);
    resources.getChildFile ("F.json").replaceWithData (chunk.getData(), chunk.getSize());
    panel().updateUserPresets();
    ASSERT_TRUE (offered (brisalto::PresetMenu::copyFactoryPresets));
    pick (brisalto::PresetMenu::copyFactoryPresets);
    EXPECT_EQ ((int) p.getUserPresetNames().size(), 2 + p.getNumPrograms() - 1);
    EXPECT_EQ (p.getCurrentUserPreset(), "B");
    EXPECT_EQ (p.mUserPresetModified.load(), 1);
    EXPECT_FLOAT_EQ (p.mParams[Ratio].load(), 0.7f);
    EXPECT_FALSE (offered (brisalto::PresetMenu::copyFactoryPresets));
    EXPECT_EQ (combo().getText(), "* B *");
}

TEST_F (PanelPresets, AFailedSaveAsDefaultKeepsTheCurrentPreset)
{
    ASSERT_TRUE (processor().writeUserPreset ("A"));
    panel().updateUserPresets();
    folders.presetFolder().deleteRecursively();
    folders.presetFolder().replaceWithText ("x");  // no folder can be made there

    pick (brisalto::PresetMenu::saveAsDefault);
    EXPECT_EQ (processor().getCurrentUserPreset(), "A");
    EXPECT_EQ (combo().getSelectedId(), 6);
}

TEST_F (PanelPresets, NameDialogSavesOnOkOnlyAndStaysOpenWithTheReason)
{
    auto& p = processor();
    pick (brisalto::PresetMenu::addPreset);
    EXPECT_TRUE (dialog().isVisible());
    EXPECT_EQ (panel().getIndexOfChildComponent (&dialog()), panel().getNumChildComponents() - 1);
    EXPECT_EQ (dialog().textEditor->getText(), "my best preset ever");
    EXPECT_EQ (dialog().statusLabel->getText(), "Sync folder disabled");

    clickOk();
    EXPECT_FALSE (dialog().isVisible());
    EXPECT_EQ (p.getCurrentUserPreset(), "my best preset ever");
    EXPECT_TRUE (presetFile ("my best preset ever").existsAsFile());
    EXPECT_EQ (combo().getText(), "my best preset ever");

    pick (brisalto::PresetMenu::addPreset);
    EXPECT_EQ (dialog().textEditor->getText(), "my best preset ever+");
    clickCancel();
    EXPECT_FALSE (dialog().isVisible());
    EXPECT_EQ (p.getUserPresetNames().size(), 1u);
    EXPECT_EQ (combo().getSelectedId(), 6);

    const struct
    {
        const char* name;
        const char* status;
    } refused[] = {
        { "", "Type a name" },
        { "BrisaltoDefault", "Name reserved" },
        { ".hidden", "Name not allowed" },
        { "a/b", "Name not allowed" },
    };
    pick (brisalto::PresetMenu::addPreset);
    for (const auto& r : refused)
    {
        dialog().textEditor->setText (r.name);
        clickOk();
        EXPECT_TRUE (dialog().isVisible()) << r.name;
        EXPECT_EQ (dialog().statusLabel->getText(), r.status) << r.name;
    }
    EXPECT_EQ (p.getUserPresetNames().size(), 1u);

    folders.presetFolder().deleteRecursively();
    folders.presetFolder().replaceWithText ("x");
    dialog().textEditor->setText ("new");
    clickOk();
    EXPECT_TRUE (dialog().isVisible());
    EXPECT_EQ (dialog().statusLabel->getText(), "Could not save");
    EXPECT_EQ (p.getUserPresetNames().size(), 1u);
}

// A load or save that fails says so in the main panel's status line and changes nothing.
TEST_F (PanelPresets, FailedLoadsAndSavesSaySo)
{
    auto& p = processor();
    ASSERT_TRUE (p.writeUserPreset ("A"));
    ASSERT_TRUE (p.writeUserPreset ("B"));
    panel().updateUserPresets();

    presetFile ("A").replaceWithText ("x");  // too short to be a state chunk
    pick (6);
    EXPECT_EQ (panel().statusLine->getText(), "Could not load \"A\"");
    EXPECT_EQ (p.getCurrentUserPreset(), "B");

    const auto kept = presetFile ("B").loadFileAsString();
    ASSERT_TRUE (presetFile ("B").setReadOnly (true));
    edit (0.9f);
    pick (brisalto::PresetMenu::savePreset);
    EXPECT_EQ (panel().statusLine->getText(), "Could not save \"B\"");
    pick (brisalto::PresetMenu::addPreset);
    dialog().textEditor->setText ("B");
    clickOk();
    EXPECT_TRUE (dialog().isVisible());
    EXPECT_EQ (dialog().statusLabel->getText(), "Could not save");
    EXPECT_EQ (presetFile ("B").loadFileAsString(), kept);
    EXPECT_EQ (p.mUserPresetModified.load(), 1);
    presetFile ("B").setReadOnly (false);
}

TEST_F (PanelPresets, APickIsNotLostOrReplacedByARefreshOnItsWay)
{
    auto& p = processor();
    ASSERT_TRUE (p.writeUserPreset ("A"));
    ASSERT_TRUE (p.writeUserPreset ("B"));
    panel().updateUserPresets();
    pick (6);
    ASSERT_EQ (p.getCurrentUserPreset(), "A");

    // Refreshes that change nothing leave the pick as it is.
    pick (7,
          [this]
          {
              panel().update_UI();
              panel().update_UI();
          });
    EXPECT_EQ (p.getCurrentUserPreset(), "B");

    // A host change rebuilds the menu before the pick arrives: the pick is dropped, and the
    // current preset is not reloaded over the edit.
    pick (6, [this] { edit (0.9f); });
    EXPECT_EQ (p.getCurrentUserPreset(), "B");
    EXPECT_FLOAT_EQ (p.mParams[Ratio].load(), 0.9f);
    EXPECT_EQ (p.mUserPresetModified.load(), 1);
}

TEST (PanelPresetsWithSyncFolder, DialogShowsItAndSavesThere)
{
    ScopedXdgFolders folders (true);
    OpenEditor open;
    auto& dialog = *open.panel().saveDialog;
    open.panel().presetsCombo->setSelectedId (brisalto::PresetMenu::addPreset, juce::sendNotificationSync);
    EXPECT_EQ (dialog.statusLabel->getText(), "Sync folder enabled");

    // A local preset named so that it would vanish from the menu without the sync folder.
    dialog.textEditor->setText ("Z.local.local");
    dialog.buttonClicked (dialog.okButton.get());
    EXPECT_TRUE (dialog.isVisible());
    EXPECT_EQ (dialog.statusLabel->getText(), "Name not allowed");

    dialog.textEditor->setText ("shared");
    dialog.buttonClicked (dialog.okButton.get());
    EXPECT_TRUE (folders.cloudDocuments().getChildFile ("shared.json").existsAsFile());
}

namespace
{
    // Types one character into whatever the window's keyboard focus is on.
    void type (juce::Component& window, juce::juce_wchar c)
    {
        window.getPeer()->handleKeyPress (juce::KeyPress ((int) c, {}, c));
    }
}

// Shown at once, or only after the pick (the window had no focus to give yet): either way the
// field has the caret at the end of the proposal and typed keys arrive.
TEST (WindowedPresetDialog, OpensAboveTheSettingsPanelsWithTypedKeysArriving)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "no display";

    for (const bool shownAtPick : { true, false })
    {
        SCOPED_TRACE (shownAtPick ? "window shown at the pick" : "window shown after the pick");
        ScopedXdgFolders folders;
        OpenEditor open;
        open.editor->addToDesktop (juce::ComponentPeer::windowIsTemporary);
        open.editor->setVisible (shownAtPick);
        auto& panel = open.panel();
        panel.backdropLabel->setVisible (true);
        panel.advancedPanel->setVisible (true);
        panel.weightPanel->setVisible (true);

        panel.presetsCombo->setSelectedId (brisalto::PresetMenu::addPreset, juce::sendNotificationSync);
        open.editor->setVisible (true);
        panel.timerCallback();

        auto& dialog = *panel.saveDialog;
        ASSERT_TRUE (dialog.textEditor->hasKeyboardFocus (false));
        EXPECT_EQ (dialog.textEditor->getCaretPosition(), dialog.textEditor->getTotalNumChars());
        if (shownAtPick)
            writeEditorSnapshot (*open.editor, "editor-name-dialog.png");
        type (*open.editor, '!');
        EXPECT_EQ (dialog.textEditor->getText(), "my best preset ever!");

        const auto centre = dialog.getBounds().getCentre();
        auto* hit = panel.getComponentAt (centre);
        EXPECT_TRUE (hit == &dialog || dialog.isParentOf (hit));
    }
}

namespace
{
    // The pop-up menu windows on screen that `known` does not hold yet.
    std::vector<juce::Component*> newMenuWindows (const std::vector<juce::Component*>& known)
    {
        std::vector<juce::Component*> found;
        auto& desktop = juce::Desktop::getInstance();
        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (auto* c = desktop.getComponent (i);
                c->getName() == "menu" && std::find (known.begin(), known.end(), c) == known.end())
                found.push_back (c);
        return found;
    }

    // Highlights the item with a sub-menu of this text in an open menu window, with the keys, and
    // opens it. A sub-menu opens with its first item highlighted, the root with none.
    juce::PopupMenu* openSubMenu (juce::Component& window, juce::PopupMenu& menu, const juce::String& text, bool firstHighlighted)
    {
        bool highlighted = firstHighlighted;
        for (juce::PopupMenu::MenuItemIterator it (menu, false); it.next();)
        {
            if (it.getItem().isSeparator)
                continue;
            if (! std::exchange (highlighted, false))
                window.keyPressed (juce::KeyPress (juce::KeyPress::downKey));
            if (it.getItem().text == text)
            {
                window.keyPressed (juce::KeyPress (juce::KeyPress::rightKey));
                return it.getItem().subMenu.get();
            }
        }
        return nullptr;
    }
}

// The longest factory names, three levels deep (factory > drum > ...), in the smallest window and
// at the design size: every row of every level draws its whole text.
TEST (WindowedPresetMenu, EveryLevelShowsWholeNamesInTheSmallestAndTheDesignWindow)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "no display";

    for (const auto& size : { juce::Point<int> (640, 480), juce::Point<int> (800, 600) })
    {
        SCOPED_TRACE (size.toString());
        ScopedXdgFolders folders;
        folders.presetFolder().createDirectory();
        OpenEditor open;
        for (const auto* name :
             { "factory:default", "factory:drum : snare", "factory:drum : snare less body", "factory:drum : snare less attack",
               "factory:drum : snare cut background", "factory:vocals : normal", "factory:vocals : high dynamic" })
            ASSERT_TRUE (open.processor.writeUserPreset (name));
        open.editor->setSize (size.x, size.y);
        open.editor->addToDesktop (juce::ComponentPeer::windowIsTemporary);
        open.editor->setVisible (true);
        auto& panel = open.panel();
        panel.update_UI();
        pumpPendingMessages (1000);

        // Menu windows open and lay out their rows at once. No messages are dispatched while they
        // are up: their timers would dismiss them whenever the X server has not yet told this
        // process it is the active application.
        std::vector<juce::Component*> windows;
        std::vector<juce::PopupMenu*> menus { panel.presetsCombo->getRootMenu() };
        panel.presetsCombo->showPopup();
        for (const auto* subMenu : { "factory", "drum " })
        {
            const auto opened = newMenuWindows (windows);
            ASSERT_EQ (opened.size(), 1u) << subMenu;
            windows.push_back (opened.front());
            menus.push_back (openSubMenu (*windows.back(), *menus.back(), subMenu, windows.size() > 1));
            ASSERT_NE (menus.back(), nullptr) << subMenu;
        }
        windows.push_back (newMenuWindows (windows).at (0));
        ASSERT_EQ (windows.back()->getNumChildComponents(), 4);  // the four snare presets

        for (size_t level = 0; level < windows.size(); ++level)
        {
            int row = 0;
            for (juce::PopupMenu::MenuItemIterator it (*menus[level], false); it.next(); ++row)
            {
                const auto& text = it.getItem().text;
                if (it.getItem().isSeparator || row >= windows[level]->getNumChildComponents())
                    continue;
                RecordingContext context (windows[level]->getLocalBounds());
                juce::Graphics g (context);
                windows[level]->getChildComponent (row)->paint (g);
                EXPECT_EQ (context.glyphs, text.removeCharacters (" ").length()) << level << " \"" << text << "\"";
            }
        }
        juce::PopupMenu::dismissAllActiveMenus();
        pumpPendingMessages (1000);
    }
}
