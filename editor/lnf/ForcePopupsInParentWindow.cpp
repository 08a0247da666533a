#include "editor/lnf/ForcePopupsInParentWindow.h"

juce::Component* ForcePopupsInParentWindow::getParentComponentForMenuOptions (const juce::PopupMenu::Options& options)
{
    // The options hold the parent weakly: null once it has been deleted.
    return options.getParentComponent();
}
