// The main panel's preset selector: rebuilding its menu from the preset store, its commands,
// and the result of the preset-name dialog.

#include "editor/panels/ControlPanel.h"
#include "editor/panels/BundleFormat.h"

#include "processor/PluginProcessor.h"
#include "processor/presets/PresetNames.h"

#include "platform/BundleResources.h"
#include "platform/Log.h"

namespace
{
    // Why the store refuses a name, in words short enough for the dialog's status line.
    juce::String refusalOf (const juce::String& name)
    {
        if (name.isEmpty())
            return "Type a name";
        if (name == brisalto::presets::defaultPresetName
            || name == juce::String (brisalto::presets::defaultPresetName) + brisalto::presets::localSuffix)
            return "Name reserved";
        return "Name not allowed";
    }
}

//==============================================================================
brisalto::PresetMenu::View ControlPanel::presetMenuView()
{
    if (factoryPresetFolder == juce::File())
        factoryPresetFolder = brisalto::platform::bundle::resourcesFolder (bundleFormatOf (processor.wrapperType));

    brisalto::PresetMenu::View view;
    for (const auto& name : processor.getUserPresetNames())
        view.names.push_back (name);
    view.currentIndex = processor.getCurrentUserPresetIndex();
    view.modified = processor.mUserPresetModified != 0;
    view.offerFactoryCopy = processor.hasFactoryPresetsToCopy (factoryPresetFolder);
    return view;
}

void ControlPanel::updateUserPresets()
{
    // Every host parameter change asks for a refresh: a menu rebuilt each time would wipe a
    // pick whose notification is still on its way.
    auto view = presetMenuView();
    if (shownPresetView && *shownPresetView == view)
        return;
    presetMenuSelectedId = brisalto::PresetMenu::fill (*presetsCombo, view, &panelLookAndFeel);
    shownPresetView = std::move (view);
}

void ControlPanel::rebuildPresetMenu()
{
    shownPresetView.reset();
    updateUserPresets();
}

void ControlPanel::add_groups_2_menu (int k, juce::String name, juce::PopupMenu* menu)
{
    if (menu != nullptr)
        brisalto::PresetMenu::add_groups_2_menu (k, name, *menu, &panelLookAndFeel);
}

//==============================================================================
void ControlPanel::presetsComboChanged()
{
    // A pick reaches here on a later turn of the message loop and is read from the selection
    // then: the selection of a rebuild in between is not a pick.
    const int id = presetsCombo->getSelectedId();
    if (id <= 0 || id == presetMenuSelectedId)
        return;
    runPresetCommand (id);
}

void ControlPanel::runPresetCommand (int id)
{
    switch (id)
    {
        case brisalto::PresetMenu::addPreset: openSaveDialog(); return;  // the selector shows the command until the dialog closes

        case brisalto::PresetMenu::savePreset:
        {
            const auto current = processor.getCurrentUserPreset();
            if (current.isNotEmpty() && ! processor.writeUserPreset (current))
                showStatus (TRANS ("Could not save") + " \"" + current + "\"");
            break;
        }

        case brisalto::PresetMenu::saveAsDefault: saveAsDefault(); break;

        case brisalto::PresetMenu::removePreset:
        {
            const int index = processor.getCurrentUserPresetIndex();
            if (index >= 0)
                processor.removeUserPreset (processor.getUserPresetName (index));
            break;
        }

        case brisalto::PresetMenu::copyFactoryPresets: processor.copyFactoryPresets (factoryPresetFolder); break;

        default:
        {
            const auto name = processor.getUserPresetName (id - brisalto::PresetMenu::firstPresetId);
            if (processor.loadUserPreset (name) != 0)
                showStatus (TRANS ("Could not load") + " \"" + name + "\"");
            break;
        }
    }
    rebuildPresetMenu();
}

void ControlPanel::saveAsDefault()
{
    if (processor.writeDefaultPreset())
    {
        processor.clearCurrentUserPreset();
        return;
    }
    const auto path = processor.getPresetDir (0).getFullPathName() + "/" + brisalto::presets::defaultPresetFileName;
    brisalto::platform::log::write (brisalto::platform::log::notice, "\nBrisalot default file : %s could NOT be created !!!!\n",
                                    path.toRawUTF8());
    showStatus (TRANS ("Could not save the default preset"));
}

//==============================================================================
void ControlPanel::openSaveDialog()
{
    const int index = processor.getCurrentUserPresetIndex();
    if (index >= 0)
    {
        // The proposal is the current preset's item as the menu shows it.
        const int item = presetsCombo->indexOfItemId (index + brisalto::PresetMenu::firstPresetId);
        saveDialog->textEditor->setText ((item >= 0 ? presetsCombo->getItemText (item) : juce::String()) + "+", false);
    }
    saveDialog->statusLabel->setText (TRANS (processor.mICloudEnabled != 0 ? "Sync folder enabled" : "Sync folder disabled"),
                                      juce::dontSendNotification);
    saveDialog->setVisible (true);
    // Above the backdrop and the settings panels, which would take its clicks.
    saveDialog->toFront (false);
    saveDialog->textEditor->moveCaretToEnd();
    nameFieldFocusTicks = nameFieldFocusTickLimit;
    focusNameField();
}

void ControlPanel::focusNameField()
{
    // The window may not have the system's keyboard focus yet (a host, the window manager, or a
    // window not yet shown): JUCE then gives the field nothing. The timer asks again for a
    // second, until the field has it or the dialog closes; never longer, so that a user who
    // went on to another program keeps it.
    auto& field = *saveDialog->textEditor;
    if (! saveDialog->isVisible() || field.hasKeyboardFocus (false))
    {
        nameFieldFocusTicks = 0;
        return;
    }
    if (saveDialog->isShowing())
        field.grabKeyboardFocus();
    nameFieldFocusTicks = field.hasKeyboardFocus (false) ? 0 : nameFieldFocusTicks - 1;
}

void ControlPanel::saveDialogResult (TextEditPanel& dialog, int result, const juce::String& name)
{
    if (result == 1)
    {
        // A refused name or a failed write keeps the dialog open with the reason.
        if (! brisalto::presets::locateForWriting (name, processor.mICloudEnabled != 0))
        {
            dialog.statusLabel->setText (refusalOf (name), juce::dontSendNotification);
            return;
        }
        if (! processor.writeUserPreset (name))
        {
            dialog.statusLabel->setText ("Could not save", juce::dontSendNotification);
            return;
        }
    }
    rebuildPresetMenu();
    dialog.setVisible (false);
}
