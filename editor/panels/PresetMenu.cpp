#include "editor/panels/PresetMenu.h"

namespace brisalto::PresetMenu
{
    juce::String partText (const juce::String& part)
    {
        return part.isEmpty() ? juce::String ("(no name)") : part;
    }

    juce::String markedText (const juce::String& name)
    {
        const auto shown = name.containsChar (':') ? name.fromFirstOccurrenceOf (":", false, false) : name;
        return "* " + shown + " *";
    }

    void add_groups_2_menu (int k, const juce::String& name, juce::PopupMenu& menu, juce::LookAndFeel* lookAndFeel)
    {
        const auto head = partText (name.upToFirstOccurrenceOf (":", false, false));
        const auto tail = name.fromFirstOccurrenceOf (":", false, false);

        juce::PopupMenu* group = nullptr;
        for (juce::PopupMenu::MenuItemIterator it (menu, false); it.next();)
        {
            auto& item = it.getItem();
            if (item.text == head)
            {
                group = item.subMenu.get();
                break;
            }
        }

        juce::PopupMenu created;
        auto& target = group != nullptr ? *group : created;
        target.setLookAndFeel (lookAndFeel);
        if (tail.containsChar (':'))
            add_groups_2_menu (k, tail, target, lookAndFeel);
        else
            target.addItem (k + firstPresetId, partText (tail), true, false);

        if (group == nullptr)
            menu.addSubMenu (head, created);
    }

    int fill (juce::ComboBox& combo, const View& view, juce::LookAndFeel* lookAndFeel)
    {
        const bool hasCurrent = view.currentIndex >= 0;
        combo.clear (juce::dontSendNotification);

        if (view.offerFactoryCopy)
            combo.addItem ("Copy factory presets", copyFactoryPresets);
        combo.addItem ("Add preset", addPreset);
        if (view.modified && hasCurrent)
            combo.addItem ("Save preset", savePreset);
        combo.addItem ("Save as Default", saveAsDefault);
        if (hasCurrent)
            combo.addItem ("Remove preset", removePreset);
        combo.addSeparator();

        auto& root = *combo.getRootMenu();
        for (int k = 0; k < (int) view.names.size(); ++k)
        {
            const auto& name = view.names[(size_t) k];
            if (! name.containsChar (':'))
            {
                combo.addItem (partText (name), k + firstPresetId);
                continue;
            }
            root.setLookAndFeel (lookAndFeel);
            add_groups_2_menu (k, name, root, lookAndFeel);
        }

        // A stale index (a preset removed behind the editor's back) has no item: nothing is selected.
        const int id = view.currentIndex + firstPresetId;
        if (! hasCurrent || combo.indexOfItemId (id) < 0)
        {
            combo.setSelectedId (0, juce::dontSendNotification);
            return 0;
        }
        if (view.modified)
            combo.changeItemText (id, markedText (view.names[(size_t) view.currentIndex]));
        combo.setSelectedId (id, juce::dontSendNotification);
        return id;
    }
}
