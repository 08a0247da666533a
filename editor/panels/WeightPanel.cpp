#include "editor/panels/WeightPanel.h"

#include "processor/PluginProcessor.h"
#include "processor/common/DbConversion.h"

#include <cmath>
#include <map>

namespace
{
    constexpr int labelColumns[] = { 34, 120, 206, 292, 378, 462, 550, 636 };
    constexpr int meterColumns[] = { 24, 110, 196, 282, 366, 454, 540, 628 };
    constexpr int rowPitch = 152;
    constexpr float silentDb = -144.0f;

    // Speaker roles of the input channels, in channel order, by layout.
    using RoleTable = std::vector<int>;
    const RoleTable rolesStereo { 0, 2 };
    const RoleTable rolesQuad { 0, 2, 3, 4 };
    const RoleTable roles5point1 { 0, 2, 3, 4, 1, 8 };
    const RoleTable roles7point1 { 0, 2, 5, 7, 3, 4, 1, 8 };
    const RoleTable roles5point1point2 { 0, 2, 3, 4, 1, 8, 27, 28 };
    const RoleTable roles5point1point4 { 0, 2, 3, 4, 1, 8, 9, 11, 12, 13 };
    const RoleTable roles7point1point2 { 0, 2, 5, 7, 3, 4, 1, 8, 27, 28 };
    const RoleTable roles7point1point4 { 0, 2, 5, 7, 3, 4, 1, 8, 9, 11, 12, 13 };
    const RoleTable roles14 { 0, 2, 1, 8, 5, 7, 3, 4, 9, 11, 12, 13, 10, 17 };
    const RoleTable roles16 { 0, 2, 1, 8, 3, 4, 9, 11, 12, 13, 5, 7, 23, 24, 27, 28 };
    const RoleTable rolesOther { 0, 2, 3, 4, 5, 7, 1, 8 };

    const RoleTable& speakerRoleTable (int numChannels, int inputFormat)
    {
        switch (numChannels)
        {
            case 2: return rolesStereo;
            case 4: return rolesQuad;
            case 6: return roles5point1;
            case 8: return inputFormat == (int) InputFormat::layout5point1point2 ? roles5point1point2 : roles7point1;
            case 10: return inputFormat == (int) InputFormat::layout7point1point2 ? roles7point1point2 : roles5point1point4;
            case 12: return roles7point1point4;
            case 14: return roles14;
            case 16: return roles16;
            default: return rolesOther;
        }
    }

    float dbOfWeight (float weight) noexcept
    {
        return brisalto::dsp::toDb (weight);
    }

    float weightOfDb (float db) noexcept
    {
        return db <= silentDb ? 0.0f : std::pow (10.0f, db / 20.0f);
    }
}

juce::String WeightPanel::getSpeakerNameForSpkrRole (int role)
{
    static const std::map<int, juce::String> sSpkrNames {
        { 0, "L" },    { 1, "C" },   { 2, "R" },   { 3, "Ls" },  { 4, "Rs" },   { 5, "Lb" },
        { 7, "Rb" },   { 8, "LFE" }, { 9, "HL" },  { 10, "HC" }, { 11, "HR" },  { 12, "HLs" },
        { 13, "HRs" }, { 17, "T" },  { 23, "WL" }, { 24, "WR" }, { 27, "Lts" }, { 28, "Rts" },
    };

    const auto it = sSpkrNames.find (role);
    return it != sSpkrNames.end() ? it->second : juce::String ("??");
}

//==============================================================================
WeightPanel::WeightPanel (BrisaltoAudioProcessor& p)
    : processor (p)
{
    hiddenLabel = makeLabel ("a\n", juce::Justification::centredLeft, { 684, 384, 16, 16 });

    for (int i = 0; i < numKnobs; ++i)
        weightSliders[(size_t) i] = makeKnob ({ 14 + 86 * (i % 8), 74 + rowPitch * (i / 8), 72, 84 });

    titleLabel = makeLabel ("Sum Channel Weights", juce::Justification::centredLeft, { 280, 16, 152, 24 });

    for (int i = 0; i < numKnobs; ++i)
    {
        const auto text = juce::String (i + 1) + (i == 0 || i >= 9 ? "\n" : "");
        channelLabels[(size_t) i] =
            makeLabel (text, juce::Justification::centred, { labelColumns[i % 8], 168 + rowPitch * (i / 8), 32, 16 });
    }

    auto combo = std::make_unique<juce::ComboBox> ("new combo box");
    combo->setEditableText (false);
    combo->setJustificationType (juce::Justification::centredLeft);
    combo->setTextWhenNothingSelected ({});
    combo->setTextWhenNoChoicesAvailable (TRANS ("(no choices)"));
    combo->addListener (this);
    formatCombo = own (std::move (combo), { 580, 364, 96, 24 });
    brisalto::PanelLayout::takeKeyboardFocusOnClick (*formatCombo);

    allOffButton = makeButton ("ALL OFF", { 24, 364, 56, 22 });
    allOnButton = makeButton ("ALL ON", { 96, 364, 56, 22 });

    for (int i = 0; i < numKnobs; ++i)
    {
        auto meter = std::make_unique<Tiny_VU>();
        meter->setName ("new component");
        channelMeters[(size_t) i] = own (std::move (meter), { meterColumns[i % 8], 50 + rowPitch * (i / 8), 56, 16 });
    }

    formatLabel = makeLabel ("FORMAT", juce::Justification::centred, { 514, 368, 66, 16 });

    for (auto* knob : weightSliders)
        knob->setDoubleClickReturnValue (true, 0.0);

    fillFormatItems (processor.getMainBusNumInputChannels());

    brisalto::PanelLayout::holdKeyboardFocusForControls (*this);

    // The heights are taken before the first layout, which already rescales the fonts.
    brisalto::PanelLayout::recordLabelFontHeights (*this, labelFontHeights);
    setSize (designWidth, designHeight);
    hiddenLabel->setVisible (false);
    update_UI();
    startTimer (100);
}

WeightPanel::~WeightPanel()
{
    stopTimer();
    setLookAndFeel (nullptr);
    for (auto& child : ownedChildren)
        child.reset();
}

template <typename ComponentType>
ComponentType* WeightPanel::own (std::unique_ptr<ComponentType> child, juce::Rectangle<int> bounds)
{
    auto* raw = child.get();
    raw->setBounds (bounds);
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*raw);
    addAndMakeVisible (*raw);
    ownedChildren.push_back (std::move (child));
    childPlaces.push_back (brisalto::PanelLayout::fractionsOf (bounds, designWidth, designHeight));
    return raw;
}

juce::Label* WeightPanel::makeLabel (const juce::String& text, juce::Justification justification, juce::Rectangle<int> bounds)
{
    auto label = std::make_unique<juce::Label> ("new label", TRANS (text));
    brisalto::PanelLayout::setUpLabel (*label, 16.0f, justification);
    return own (std::move (label), bounds);
}

juce::Slider* WeightPanel::makeKnob (juce::Rectangle<int> bounds)
{
    auto knob = std::make_unique<juce::Slider> ("lookahead slider");
    knob->setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    knob->setRange (-144.0, 0.0, 0.1);
    knob->setSkewFactor (4.0);
    knob->setTextBoxStyle (juce::Slider::TextBoxBelow, false, 50, 14);
    knob->setExplicitFocusOrder (1);
    knob->addListener (this);
    auto* raw = own (std::move (knob), bounds);
    brisalto::PanelLayout::stepWithArrowKeysOnceClicked (*raw);
    return raw;
}

juce::TextButton* WeightPanel::makeButton (const juce::String& text, juce::Rectangle<int> bounds)
{
    auto button = std::make_unique<juce::TextButton> ("new button");
    button->setButtonText (TRANS (text));
    button->addListener (this);
    return own (std::move (button), bounds);
}

void WeightPanel::fillFormatItems (int numChannels)
{
    // Item id = InputFormat + 1.
    if (numChannels == 8)
    {
        formatCombo->addItem ("7.1", 1);
        formatCombo->addItem ("5.1.2", (int) InputFormat::layout5point1point2 + 1);
    }
    else if (numChannels == 10)
    {
        formatCombo->addItem ("5.1.4", 1);
        formatCombo->addItem ("7.1.2", (int) InputFormat::layout7point1point2 + 1);
    }
    else
    {
        formatCombo->addItem ("Default", 1);
        formatCombo->setVisible (false);
        formatLabel->setVisible (false);
    }
}

//==============================================================================
void WeightPanel::update_UI()
{
    // Without notification: a stored layout the selector has no item for stays stored.
    const int format = processor.inputFormat;
    formatCombo->setSelectedId (format + 1, juce::dontSendNotification);

    const int n = processor.getMainBusNumInputChannels();
    const auto& roles = speakerRoleTable (n, format);

    for (int i = 0; i < numKnobs; ++i)
    {
        const auto index = (size_t) i;
        const bool present = i < n;
        const auto text = present && index < roles.size() ? getSpeakerNameForSpkrRole (roles[index]) : juce::String (i + 1);
        channelLabels[index]->setText (text, juce::dontSendNotification);
        channelLabels[index]->setAlpha (present ? 1.0f : 0.5f);

        weightSliders[index]->setValue (dbOfWeight (processor.channel_weights[i]), juce::dontSendNotification);
        weightSliders[index]->setEnabled (present);
    }
}

void WeightPanel::timerCallback()
{
    const int n = processor.getMainBusNumInputChannels();

    for (int i = 0; i < numKnobs; ++i)
    {
        auto* meter = channelMeters[(size_t) i];
        meter->level = i < n ? brisalto::dsp::toDb (processor.mInputChannelLevels[i]) : silentDb;
        meter->update_UI();
    }
}

void WeightPanel::sliderValueChanged (juce::Slider* slider)
{
    const auto db = (float) slider->getValue();
    shiftDown = juce::ModifierKeys::currentModifiers.isShiftDown();

    for (int k = 0; k < numKnobs; ++k)
        if (shiftDown || slider == weightSliders[(size_t) k])
            processor.channel_weights[k] = weightOfDb (db);

    if (shiftDown)
        update_UI();
}

void WeightPanel::buttonClicked (juce::Button* button)
{
    if (button == allOffButton)
        setAllWeights (0.0f);
    else if (button == allOnButton)
        setAllWeights (1.0f);
}

void WeightPanel::setAllWeights (float weight)
{
    for (int k = 0; k < numKnobs; ++k)
        processor.channel_weights[k] = weight;
    update_UI();
}

void WeightPanel::comboBoxChanged (juce::ComboBox* combo)
{
    if (combo != formatCombo)
        return;

    // Id 0 (no selection) is not a layout.
    const int id = formatCombo->getSelectedId();
    if (id < 1)
        return;

    processor.inputFormat = id - 1;
    update_UI();
}

//==============================================================================
void WeightPanel::paint (juce::Graphics& g)
{
    const float sx = (float) getWidth() / (float) designWidth;
    const float sy = (float) getHeight() / (float) designHeight;

    g.fillAll (juce::Colour (0xff2c2c30));
    g.setColour (juce::Colour (0x1affffff));
    g.drawLine (20.0f * sx, 28.0f * sy, 260.0f * sx, 28.0f * sy, 2.0f);
    g.drawLine (450.0f * sx, 28.0f * sy, 680.0f * sx, 28.0f * sy, 2.0f);
}

void WeightPanel::resized()
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    for (size_t i = 0; i < ownedChildren.size(); ++i)
        ownedChildren[i]->setBounds (brisalto::PanelLayout::place (childPlaces[i], w, h));

    brisalto::PanelLayout::rescaleLabelFonts (*this, labelFontHeights, designWidth, designHeight);
}

bool WeightPanel::keyPressed (const juce::KeyPress&)
{
    return false;
}
void WeightPanel::modifierKeysChanged (const juce::ModifierKeys&)
{
}
