#include "editor/panels/AdvancedPanel1.h"

#include "editor/panels/VersionText.h"
#include "platform/UserDefaults.h"
#include "processor/PluginProcessor.h"

namespace
{
    // Where each child sits, as fractions of the panel, in the order of AdvancedPanel1::children().
    constexpr brisalto::PanelLayout::Fractions childPlaces[] = {
        { 0.6971f, 0.9447f, 0.2743f, 0.0447f },  // versionLabel
        { 0.6429f, 0.1974f, 0.1543f, 0.3105f },  // maxGainLevelSlider
        { 0.8157f, 0.1974f, 0.1543f, 0.3105f },  // autoGainAmountSlider
        { 0.6629f, 0.1105f, 0.1257f, 0.0447f },  // maxMakeupLabel
        { 0.8343f, 0.1105f, 0.1257f, 0.0447f },  // autoGainLabel
        { 0.2514f, 0.1105f, 0.0914f, 0.0447f },  // gainLabel
        { 0.0643f, 0.1105f, 0.1071f, 0.0447f },  // amountLabel
        { 0.0357f, 0.1974f, 0.1543f, 0.3105f },  // adaptiveAmountSlider
        { 0.4f, 0.1105f, 0.1371f, 0.0447f },     // lookaheadLabel
        { 0.2086f, 0.1974f, 0.1543f, 0.3105f },  // adaptiveGainSlider
        { 0.3814f, 0.1974f, 0.1543f, 0.3105f },  // lookaheadSlider
        { 0.0229f, 0.7789f, 0.1829f, 0.0553f },  // filterTypeCombo
        { 0.0229f, 0.6105f, 0.0914f, 0.0658f },  // filterLabel
        { 0.2286f, 0.0263f, 0.1371f, 0.0658f },  // adaptiveLabel
        { 0.7314f, 0.0263f, 0.1257f, 0.0658f },  // makeupLabel
        { 0.2514f, 0.6895f, 0.1143f, 0.2316f },  // filterQSlider
        { 0.2971f, 0.6211f, 0.0343f, 0.0447f },  // qLabel
        { 0.4171f, 0.6895f, 0.1143f, 0.2342f },  // nonLinReleaseSlider
        { 0.4f, 0.6158f, 0.16f, 0.0447f },       // nonLinReleaseLabel
        { 0.0114f, 0.9447f, 0.1143f, 0.0447f },  // madeWithLabel
        { 0.7829f, 0.6737f, 0.1829f, 0.0553f },  // progChangeModeCombo
        { 0.7714f, 0.6158f, 0.2057f, 0.0447f },  // progChangeModeLabel
        { 0.7729f, 0.7474f, 0.1029f, 0.0447f },  // midiChannelLabel
        { 0.8857f, 0.7447f, 0.08f, 0.0553f },    // midiChannelCombo
        { 0.6f, 0.6895f, 0.1143f, 0.2342f },     // limiterReleaseSlider
        { 0.5771f, 0.6158f, 0.16f, 0.0447f },    // limiterReleaseLabel
        { 0.9286f, 0.8421f, 0.0457f, 0.0658f },  // midiFromDawToggle
        { 0.7743f, 0.8526f, 0.1457f, 0.0447f },  // midiFromDawLabel
    };

    // The separating lines, at the design size: x1, y1, x2, y2.
    constexpr float separatorLines[][4] = {
        { 20, 210, 680, 210 }, { 20, 22, 150, 22 },   { 250, 22, 380, 22 },   { 430, 22, 500, 22 },
        { 600, 22, 675, 22 },  { 405, 70, 405, 170 }, { 255, 240, 255, 330 }, { 525, 240, 525, 330 },
    };

    constexpr int highestChannelId = 17;  // "16"
}

struct AdvancedPanel1::KnobSettings
{
    const char* name;
    double minimum, maximum, interval, skew;
    int textBoxHeight;
};

AdvancedPanel1::AdvancedPanel1 (BrisaltoAudioProcessor& p)
    : processor (p)
{
    const auto left = juce::Justification::centredLeft;
    const auto right = juce::Justification::centredRight;

    versionLabel = makeLabel ("version 0.1", 11.0f, right);
    maxGainLevelSlider = makeKnob ({ "lookahead slider", -30.0, 0.0, 0.1, 1.0, 16 });
    autoGainAmountSlider = makeKnob ({ "mid_is_zero_slider", -100.0, 100.0, 1.0, 1.0, 16 });
    maxMakeupLabel = makeLabel ("MAX MAKEUP", 14.0f, left);
    autoGainLabel = makeLabel ("AUTO GAIN", 14.0f, left);
    gainLabel = makeLabel ("GAIN", 14.0f, left);
    amountLabel = makeLabel ("AMOUNT", 14.0f, left);
    adaptiveAmountSlider = makeKnob ({ "lookahead slider", 0.0, 1.0, 0.1, 1.0, 14 });
    adaptiveAmountSlider->setTooltip (TRANS ("relative amount of  compression in quiet parts"));
    lookaheadLabel = makeLabel ("LOOKAHEAD", 14.0f, left);
    adaptiveGainSlider = makeKnob ({ "lookahead slider", 0.0, 1.0, 0.1, 1.0, 14 });
    lookaheadSlider = makeKnob ({ "lookahead slider", 0.0, 1000.0, 1.0, 1.0, 14 });
    filterTypeCombo = makeCombo ({ "Bandpass", "Lowpass", "Highpass", "Notch" }, 1);
    filterLabel = makeLabel ("FILTER", 16.0f, left);
    adaptiveLabel = makeLabel ("ADAPTIVE", 16.0f, left);
    makeupLabel = makeLabel ("MAKEUP\n", 16.0f, left);
    filterQSlider = makeKnob ({ "lookahead slider", 0.1, 10.0, 0.1, 0.4, 14 });
    qLabel = makeLabel ("Q", 14.0f, left);
    nonLinReleaseSlider = makeKnob ({ "mid_is_zero_slider", -100.0, 100.0, 1.0, 1.0, 14 });
    nonLinReleaseLabel = makeLabel ("Non-Lin Release\n", 14.0f, left);
    madeWithLabel = makeLabel ("made with Juce", 11.0f, right);
    progChangeModeCombo = makeCombo ({ "Off", "Index", "Name" }, 1);
    progChangeModeLabel = makeLabel ("Midi Program Change Mode", 14.0f, left);
    midiChannelLabel = makeLabel ("Midi Channel", 14.0f, left);

    juce::StringArray channels { "All" };
    for (int c = 1; c <= 16; ++c)
        channels.add (juce::String (c));
    midiChannelCombo = makeCombo (channels, 1);

    limiterReleaseSlider = makeKnob ({ "normal slider", 0.0, 200.0, 0.1, 0.35, 14 });
    limiterReleaseLabel = makeLabel ("Limiter Release", 14.0f, juce::Justification::centred);

    midiFromDawToggle = std::make_unique<juce::ToggleButton> ("new toggle button");
    midiFromDawToggle->setButtonText ({});
    midiFromDawToggle->addListener (this);
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*midiFromDawToggle);
    addAndMakeVisible (*midiFromDawToggle);

    midiFromDawLabel = makeLabel ("MIDI Receive  : DAW", 14.0f, left);

    filterTypeLookAndFeel = std::make_unique<ForcePopupsInParentWindow>();
    filterTypeCombo->setLookAndFeel (filterTypeLookAndFeel.get());

    brisalto::PanelLayout::holdKeyboardFocusForControls (*this);

    // The heights are taken before the first layout, which already rescales the fonts.
    brisalto::PanelLayout::recordLabelFontHeights (*this, labelFontHeights);
    setSize (designWidth, designHeight);
    versionLabel->setText (getVersionText(), juce::dontSendNotification);
    update_UI();
}

AdvancedPanel1::~AdvancedPanel1()
{
    setLookAndFeel (nullptr);
    filterTypeCombo->setLookAndFeel (nullptr);

    versionLabel.reset();
    maxGainLevelSlider.reset();
    autoGainAmountSlider.reset();
    maxMakeupLabel.reset();
    autoGainLabel.reset();
    gainLabel.reset();
    amountLabel.reset();
    adaptiveAmountSlider.reset();
    lookaheadLabel.reset();
    adaptiveGainSlider.reset();
    lookaheadSlider.reset();
    filterTypeCombo.reset();
    filterLabel.reset();
    adaptiveLabel.reset();
    makeupLabel.reset();
    filterQSlider.reset();
    qLabel.reset();
    nonLinReleaseSlider.reset();
    nonLinReleaseLabel.reset();
    madeWithLabel.reset();
    progChangeModeCombo.reset();
    progChangeModeLabel.reset();
    midiChannelLabel.reset();
    midiChannelCombo.reset();
    limiterReleaseSlider.reset();
    limiterReleaseLabel.reset();
    midiFromDawToggle.reset();
    midiFromDawLabel.reset();

    filterTypeLookAndFeel.reset();
}

std::vector<juce::Component*> AdvancedPanel1::children() const
{
    return { versionLabel.get(),
             maxGainLevelSlider.get(),
             autoGainAmountSlider.get(),
             maxMakeupLabel.get(),
             autoGainLabel.get(),
             gainLabel.get(),
             amountLabel.get(),
             adaptiveAmountSlider.get(),
             lookaheadLabel.get(),
             adaptiveGainSlider.get(),
             lookaheadSlider.get(),
             filterTypeCombo.get(),
             filterLabel.get(),
             adaptiveLabel.get(),
             makeupLabel.get(),
             filterQSlider.get(),
             qLabel.get(),
             nonLinReleaseSlider.get(),
             nonLinReleaseLabel.get(),
             madeWithLabel.get(),
             progChangeModeCombo.get(),
             progChangeModeLabel.get(),
             midiChannelLabel.get(),
             midiChannelCombo.get(),
             limiterReleaseSlider.get(),
             limiterReleaseLabel.get(),
             midiFromDawToggle.get(),
             midiFromDawLabel.get() };
}

//==============================================================================
std::unique_ptr<juce::Label> AdvancedPanel1::makeLabel (const juce::String& text, float fontHeight,
                                                        juce::Justification justification)
{
    return brisalto::PanelLayout::addTextLabel (*this, text, fontHeight, justification);
}

std::unique_ptr<juce::Slider> AdvancedPanel1::makeKnob (const KnobSettings& settings)
{
    auto knob = std::make_unique<juce::Slider> (settings.name);
    knob->setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    knob->setTextBoxStyle (juce::Slider::TextBoxBelow, false, 50, settings.textBoxHeight);
    knob->setRange (settings.minimum, settings.maximum, settings.interval);
    if (settings.skew != 1.0)
        knob->setSkewFactor (settings.skew);
    knob->setExplicitFocusOrder (1);
    knob->addListener (this);
    brisalto::PanelLayout::stepWithArrowKeysOnceClicked (*knob);
    addAndMakeVisible (*knob);
    return knob;
}

std::unique_ptr<juce::ComboBox> AdvancedPanel1::makeCombo (const juce::StringArray& items, int firstId)
{
    auto combo = std::make_unique<juce::ComboBox> ("new combo box");
    combo->setEditableText (false);
    combo->setJustificationType (juce::Justification::centredLeft);
    combo->setTextWhenNothingSelected (TRANS ("Type"));
    combo->setTextWhenNoChoicesAvailable (TRANS ("(no choices)"));
    for (int i = 0; i < items.size(); ++i)
        combo->addItem (TRANS (items[i]), firstId + i);
    combo->addListener (this);
    brisalto::PanelLayout::takeKeyboardFocusOnClick (*combo);
    addAndMakeVisible (*combo);
    return combo;
}

//==============================================================================
void AdvancedPanel1::update_UI()
{
    auto& params = processor.mParams;
    const auto none = juce::dontSendNotification;

    lookaheadSlider->setValue ((float) processor.mLookaheadMs, none);
    maxGainLevelSlider->setValue (params[MaxGainLevel] * 30.0f - 30.0f, none);
    adaptiveAmountSlider->setValue (processor.getParameter (Adaptive_Relative_Amount), none);
    adaptiveGainSlider->setValue (processor.getParameter (Adaptive_Relative_Gain), none);
    autoGainAmountSlider->setValue ((params[AutoGainAmount] - 0.5f) * 200.0f, none);
    filterTypeCombo->setSelectedId ((int) filterTypeFromParameter (params[BPFilterType]) + 1, none);
    filterQSlider->setValue (10.0f * params[BPFilterQ], none);
    nonLinReleaseSlider->setValue ((params[Non_Lin_Release_Amount] - 0.5f) * 200.0f, none);
    limiterReleaseSlider->setValue (200.0f * params[HardLimiterRelease], none);

    // Asynchronous on purpose: the selectors then write the processor's values back into the
    // user defaults and enable the own MIDI input for a stored program-change mode.
    midiChannelCombo->setSelectedId (processor.midi_progr_change_channel + 2, juce::sendNotificationAsync);
    progChangeModeCombo->setSelectedId (processor.midi_progr_change_mode + 1, juce::sendNotificationAsync);
    midiFromDawToggle->setToggleState (processor.midi_receive_from_DAW != 0, none);
}

//==============================================================================
void AdvancedPanel1::mouseDrag (const juce::MouseEvent&)
{
}
void AdvancedPanel1::mouseUp (const juce::MouseEvent&)
{
}
bool AdvancedPanel1::keyPressed (const juce::KeyPress&)
{
    return false;
}
void AdvancedPanel1::modifierKeysChanged (const juce::ModifierKeys&)
{
}

void AdvancedPanel1::paint (juce::Graphics& g)
{
    const float sx = (float) getWidth() / (float) designWidth;
    const float sy = (float) getHeight() / (float) designHeight;

    g.fillAll (juce::Colour (0xff2c2c30));
    g.setColour (juce::Colour (0x1affffff));
    for (const auto& line : separatorLines)
        g.drawLine (line[0] * sx, line[1] * sy, line[2] * sx, line[3] * sy, 2.0f);
}

void AdvancedPanel1::resized()
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const auto all = children();

    // The filter type's selector has a look-and-feel of its own: it shrinks with this panel.
    const bool atLeastDesignSize = getWidth() >= designWidth && getHeight() >= designHeight;
    filterTypeLookAndFeel->shrink = atLeastDesignSize ? 1.0f : juce::jmin (w / (float) designWidth, h / (float) designHeight);

    for (size_t i = 0; i < all.size(); ++i)
        all[i]->setBounds (brisalto::PanelLayout::place (childPlaces[i], w, h));

    brisalto::PanelLayout::rescaleLabelFonts (*this, labelFontHeights, designWidth, designHeight);
}

//==============================================================================
int AdvancedPanel1::parameterOf (const juce::Slider* slider) const noexcept
{
    const std::pair<const juce::Slider*, int> knobs[] = {
        { maxGainLevelSlider.get(), MaxGainLevel },
        { autoGainAmountSlider.get(), AutoGainAmount },
        { adaptiveAmountSlider.get(), Adaptive_Relative_Amount },
        { adaptiveGainSlider.get(), Adaptive_Relative_Gain },
        { lookaheadSlider.get(), Lookahead },
        { filterQSlider.get(), BPFilterQ },
        { nonLinReleaseSlider.get(), Non_Lin_Release_Amount },
        { limiterReleaseSlider.get(), HardLimiterRelease },
    };

    for (const auto& [knob, index] : knobs)
        if (knob == slider)
            return index;
    return -1;
}

void AdvancedPanel1::sliderDragStarted (juce::Slider* slider)
{
    if (const int index = parameterOf (slider); index >= 0)
        processor.beginParameterChangeGesture (index);
}

void AdvancedPanel1::sliderDragEnded (juce::Slider* slider)
{
    if (const int index = parameterOf (slider); index >= 0)
        processor.endParameterChangeGesture (index);
}

void AdvancedPanel1::sliderValueChanged (juce::Slider* slider)
{
    // Look-ahead also sets mLookaheadMs (whole milliseconds) before the host hears of it.
    if (const int index = parameterOf (slider); index >= 0)
        processor.setParameterValue (index, (float) slider->getValue(), 0);
}

void AdvancedPanel1::comboBoxChanged (juce::ComboBox* combo)
{
    // A selector without a selection (a stored value it has no item for) reads id 0: no change.
    const int id = combo->getSelectedId();
    if (id < 1)
        return;

    if (combo == filterTypeCombo.get())
        setFilterType (id);
    else if (combo == progChangeModeCombo.get())
        setProgramChangeMode (id);
    else if (combo == midiChannelCombo.get())
        setProgramChangeChannel (id);
}

void AdvancedPanel1::buttonClicked (juce::Button* button)
{
    if (button == midiFromDawToggle.get())
        setMidiFromDaw (midiFromDawToggle->getToggleState());
}

//==============================================================================
void AdvancedPanel1::setFilterType (int selectedId)
{
    // The normalised value itself (0, 0.1, 0.2, 0.3), outside any gesture.
    if (processor.mInstanceId >= 0)
        processor.mParamChangeCounter++;
    processor.mParamNotifyGate = 0;
    processor.mCurrentProgram = 0;
    processor.setParameterNotifyingHost (BPFilterType, (float) (selectedId - 1) / 10.0f);
    processor.mParamNotifyGate++;
}

void AdvancedPanel1::setProgramChangeMode (int selectedId)
{
    const int mode = selectedId - 1;
    processor.midi_progr_change_mode = mode;
    brisalto::platform::UserDefaults::standard().setInteger ("kAppPrefMidiProgChangeMode", mode);
    if (processor.midi_progr_change_mode != 0)
        enableMidiReceive();
}

void AdvancedPanel1::setProgramChangeChannel (int selectedId)
{
    if (selectedId > highestChannelId)
        return;

    const int channel = selectedId - 2;  // "All" is -1
    processor.midi_progr_change_channel = channel;
    brisalto::platform::UserDefaults::standard().setInteger ("kAppPrefMidiChannel", channel);
}

void AdvancedPanel1::setMidiFromDaw (bool on)
{
    processor.midi_receive_from_DAW = on ? 1 : 0;

    if (on)
    {
        if (processor.mMidiWrapper != nullptr)
            disconnectOwnMidiSources();
    }
    else if (processor.mixMode == (int32_t) MixMode::sideMidi || processor.midi_progr_change_mode != 0
             || processor.midi_CC_receive_mode != 0)
    {
        enableMidiReceive();
    }
}

void AdvancedPanel1::enableMidiReceive()
{
    processor.enableMidiReceive();
}
void AdvancedPanel1::disconnectOwnMidiSources()
{
    processor.disconnectOwnMidiSources();
}
