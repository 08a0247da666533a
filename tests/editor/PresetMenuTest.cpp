// The preset selector's menu, built from views of the store without a panel.

#include "editor/panels/PresetMenu.h"

#include <gtest/gtest.h>

namespace
{
    // "text=id" per item, "---" per separator, "title>[...]" per sub-menu, joined by '|'.
    juce::String dump (const juce::PopupMenu& menu)
    {
        juce::StringArray parts;
        for (juce::PopupMenu::MenuItemIterator it (menu, false); it.next();)
        {
            const auto& item = it.getItem();
            if (item.isSeparator)
                parts.add ("---");
            else if (item.subMenu != nullptr)
                parts.add (item.text + ">[" + dump (*item.subMenu) + "]");
            else
                parts.add (item.text + "=" + juce::String (item.itemID));
        }
        return parts.joinIntoString ("|");
    }

    struct MenuCase
    {
        const char* what;
        std::vector<juce::String> names;
        int currentIndex;
        bool modified;
        bool offerCopy;
        const char* menu;
        int selected;
        const char* shown;
    };
}

TEST (PresetMenu, ItemsGroupsMarksAndSelection)
{
    const MenuCase cases[] = {
        { "groups, nothing current",
          { "A", "drum:kick", "drum:snare", "z" },
          -1,
          false,
          false,
          "Add preset=1|Save as Default=3|---|A=6|drum>[kick=7|snare=8]|z=9",
          0,
          "" },
        { "something to copy", { "A" }, -1, false, true, "Copy factory presets=5|Add preset=1|Save as Default=3|---|A=6", 0, "" },
        { "current, unmodified",
          { "A", "drum:kick", "drum:snare", "z" },
          2,
          false,
          false,
          "Add preset=1|Save as Default=3|Remove preset=4|---|A=6|drum>[kick=7|snare=8]|z=9",
          8,
          "snare" },
        { "current grouped, modified",
          { "A", "drum:kick", "drum:snare", "z" },
          2,
          true,
          false,
          "Add preset=1|Save preset=2|Save as Default=3|Remove preset=4|---|A=6|drum>[kick=7|* snare *=8]|z=9",
          8,
          "* snare *" },
        { "two levels, modified",
          { "a:b:c" },
          0,
          true,
          false,
          "Add preset=1|Save preset=2|Save as Default=3|Remove preset=4|---|a>[b>[* b:c *=6]]",
          6,
          "* b:c *" },
        { "local name, modified",
          { "mine.local" },
          0,
          true,
          false,
          "Add preset=1|Save preset=2|Save as Default=3|Remove preset=4|---|* mine.local *=6",
          6,
          "* mine.local *" },
        { "a group is looked for among direct items only",
          { "a:b:c", "b:x" },
          -1,
          false,
          false,
          "Add preset=1|Save as Default=3|---|a>[b>[c=6]]|b>[x=7]",
          0,
          "" },
        { "a plain item is not a group",
          { "drum", "drum:kick", "drum:snare" },
          -1,
          false,
          false,
          "Add preset=1|Save as Default=3|---|drum=6|drum>[kick=7]|drum>[snare=8]",
          0,
          "" },
        { "empty parts get a placeholder",
          { ":x", "drum:", "g::y" },
          -1,
          false,
          false,
          "Add preset=1|Save as Default=3|---|(no name)>[x=6]|drum>[(no name)=7]|g>[(no name)>[y=8]]",
          0,
          "" },
        { "stale index selects nothing",
          { "A", "B" },
          5,
          true,
          false,
          "Add preset=1|Save preset=2|Save as Default=3|Remove preset=4|---|A=6|B=7",
          0,
          "" },
    };

    juce::LookAndFeel_V4 lookAndFeel;
    juce::ComboBox combo;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        brisalto::PresetMenu::View view { c.names, c.currentIndex, c.modified, c.offerCopy };
        EXPECT_EQ (brisalto::PresetMenu::fill (combo, view, &lookAndFeel), c.selected);
        EXPECT_EQ (dump (*combo.getRootMenu()), c.menu);
        EXPECT_EQ (combo.getSelectedId(), c.selected);
        EXPECT_EQ (combo.getText(), c.shown);
    }
}
