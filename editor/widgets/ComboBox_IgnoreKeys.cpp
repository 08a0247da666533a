#include "editor/widgets/ComboBox_IgnoreKeys.h"

ComboBox_IgnoreKeys::ComboBox_IgnoreKeys (const juce::String& componentName)
    : juce::ComboBox (componentName)
{
}

bool ComboBox_IgnoreKeys::keyPressed (const juce::KeyPress&)
{
    return false;
}
