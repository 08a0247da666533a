#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

// The preset selector's menu: the commands, a separator, then the user presets in the store's
// order, names holding ':' filed into sub-menus by their parts. Built from a View of the store
// alone, so the same view always gives the same menu.
namespace brisalto::PresetMenu
{
    enum Command
    {
        addPreset = 1,
        savePreset = 2,
        saveAsDefault = 3,
        removePreset = 4,
        copyFactoryPresets = 5
    };

    // The k-th name of the store has the item id firstPresetId + k.
    constexpr int firstPresetId = 6;

    struct View
    {
        std::vector<juce::String> names;  // in the store's order
        int currentIndex = -1;            // may be stale: beyond the names
        bool modified = false;
        bool offerFactoryCopy = false;

        bool operator== (const View& other) const
        {
            return names == other.names && currentIndex == other.currentIndex && modified == other.modified
                && offerFactoryCopy == other.offerFactoryCopy;
        }
        bool operator!= (const View& other) const { return ! operator== (other); }
    };

    // A name part as a menu shows it: an empty part (as in "drum:") gets a placeholder, since a
    // menu item without text cannot be shown or chosen.
    juce::String partText (const juce::String& part);

    // The current preset's text while it is modified: "* X *", X the name after its first ':'.
    juce::String markedText (const juce::String& name);

    // Files a name holding ':' into menu with the item id k + firstPresetId: the part before the
    // first ':' names a sub-menu, looked for among menu's own items only; the rest is filed into
    // it the same way, and the last part is the item's text.
    void add_groups_2_menu (int k, const juce::String& name, juce::PopupMenu& menu, juce::LookAndFeel* lookAndFeel);

    // Rebuilds the combo box from the view without notifying its listeners. Selects the current
    // preset (marked while modified) when it has an item, else nothing; returns the selected id.
    int fill (juce::ComboBox& combo, const View& view, juce::LookAndFeel* lookAndFeel);
}
