#pragma once

#include "editor/panels/PanelLayout.h"

#include <functional>
#include <memory>

// The in-window dialog in which the user names a new user preset. It only collects the text and
// reports OK or Cancel through onResult; saving, hiding and refreshing are its owner's.
class TextEditPanel : public juce::Component, public juce::TextEditor::Listener, public juce::Button::Listener
{
public:
    static constexpr int designWidth = 350, designHeight = 100;

    TextEditPanel();
    ~TextEditPanel() override;

    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void modifierKeysChanged (const juce::ModifierKeys&) override;
    void resized() override;
    void buttonClicked (juce::Button*) override;

    brisalto::PanelLayout::LabelFontHeights labelFontHeights;

    // Result 1 (OK) with the name exactly as typed, or 0 (Cancel) with an empty string. Not
    // called while unset.
    std::function<void (TextEditPanel*, int, juce::String)> onResult;

    std::unique_ptr<juce::TextEditor> textEditor;
    std::unique_ptr<juce::TextButton> okButton;
    std::unique_ptr<juce::TextButton> cancelButton;
    std::unique_ptr<juce::Label> statusLabel;

private:
    std::unique_ptr<juce::TextButton> makeButton (const juce::String& text);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TextEditPanel)
};
