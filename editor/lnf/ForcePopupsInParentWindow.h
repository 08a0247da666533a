#pragma once

#include "editor/lnf/LumoLNF.h"

// The look-and-feel that the panels install: a pop-up menu opens inside the component that its
// options name as parent, and in a window of its own when they name none.
class ForcePopupsInParentWindow : public LumoLNF
{
public:
    ForcePopupsInParentWindow() = default;
    ~ForcePopupsInParentWindow() override = default;

    juce::Component* getParentComponentForMenuOptions (const juce::PopupMenu::Options&) override;
};
