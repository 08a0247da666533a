#include "editor/panels/TextEditPanel.h"

TextEditPanel::TextEditPanel()
{
    textEditor = std::make_unique<juce::TextEditor> ("text editor");
    textEditor->setMultiLine (false, false);
    textEditor->setReturnKeyStartsNewLine (false);
    textEditor->setReadOnly (false);
    textEditor->setScrollbarsShown (true);
    textEditor->setCaretVisible (true);
    textEditor->setPopupMenuEnabled (true);
    textEditor->setText ({}, false);
    addAndMakeVisible (*textEditor);

    okButton = makeButton ("OK");
    cancelButton = makeButton ("Cancel");

    statusLabel = std::make_unique<juce::Label> ("new label", TRANS ("Sync folder enabled"));
    brisalto::PanelLayout::setUpLabel (*statusLabel, 14.0f, juce::Justification::centredLeft);
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*statusLabel);
    addAndMakeVisible (*statusLabel);

    brisalto::PanelLayout::holdKeyboardFocusForControls (*this);

    // The heights are taken before the first layout, which already rescales the fonts.
    brisalto::PanelLayout::recordLabelFontHeights (*this, labelFontHeights);
    setSize (designWidth, designHeight);
}

TextEditPanel::~TextEditPanel()
{
    setLookAndFeel (nullptr);
    textEditor.reset();
    okButton.reset();
    cancelButton.reset();
    statusLabel.reset();
}

std::unique_ptr<juce::TextButton> TextEditPanel::makeButton (const juce::String& text)
{
    auto button = std::make_unique<juce::TextButton> ("new button");
    button->setButtonText (TRANS (text));
    button->addListener (this);
    button->setColour (juce::TextButton::buttonColourId, juce::Colour (0x00ffffff));
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*button);
    addAndMakeVisible (*button);
    return button;
}

void TextEditPanel::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff2c2c30));
    g.fillAll (juce::Colour (0x802d7180));
}

bool TextEditPanel::keyPressed (const juce::KeyPress&)
{
    return false;
}

void TextEditPanel::modifierKeysChanged (const juce::ModifierKeys&)
{
}

void TextEditPanel::resized()
{
    using brisalto::PanelLayout::scaled;
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();

    textEditor->setBounds (brisalto::PanelLayout::place ({ 0.0457f, 0.16f, 0.8914f, 0.32f }, w, h));
    okButton->setBounds (scaled (w, 0.8f), scaled (h, 0.64f), 40, 24);
    cancelButton->setBounds (scaled (w, 0.5257f), scaled (h, 0.64f), 72, 24);
    statusLabel->setBounds (brisalto::PanelLayout::place ({ 0.0457f, 0.7f, 0.3657f, 0.16f }, w, h));

    brisalto::PanelLayout::rescaleLabelFonts (*this, labelFontHeights, designWidth, designHeight);
}

void TextEditPanel::buttonClicked (juce::Button* button)
{
    if (! onResult)
        return;

    if (button == okButton.get())
        onResult (this, 1, textEditor->getText());
    else if (button == cancelButton.get())
        onResult (this, 0, {});
}
