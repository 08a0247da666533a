#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A combo box that refuses every key press, so that keys reach the host while it has the
// focus. The arrow keys still count as used (ComboBox::keyStateChanged), and Tab still moves
// the focus.
class ComboBox_IgnoreKeys : public juce::ComboBox
{
public:
    explicit ComboBox_IgnoreKeys (const juce::String& name);
    ~ComboBox_IgnoreKeys() override = default;

    bool keyPressed (const juce::KeyPress&) override;
};
