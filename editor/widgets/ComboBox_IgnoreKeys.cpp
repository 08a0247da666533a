#include "editor/widgets/ComboBox_IgnoreKeys.h"

ComboBox_IgnoreKeys::ComboBox_IgnoreKeys (const juce::String& name)
    : juce::ComboBox (name)
{
}

bool ComboBox_IgnoreKeys::keyPressed (const juce::KeyPress&)
{
    return false;
}
