#include "editor/panels/ControlPanel.h"

#include "editor/lnf/EmbeddedArt.h"
#include "platform/DesktopLauncher.h"
#include "processor/PluginProcessor.h"

namespace
{
    constexpr float ladderY = 0.8704f, ladderW = 0.0267f, ladderH = 0.0401f;
    constexpr float toggleW = 0.0495f, toggleH = 0.0658f;
    constexpr float knobW = 0.1276f, knobH = 0.1893f, smallKnobW = 0.1029f, smallKnobH = 0.1523f;

    // A row that the constructor places once and the layout leaves alone.
    constexpr brisalto::PanelLayout::Fractions fixedPlace { -1.0f, -1.0f, -1.0f, -1.0f };
    const juce::Rectangle<int> serverLabelBounds { 16, 600, 48, 8 };

    // Where each child sits, as fractions of the panel, in the order of ControlPanel::children().
    constexpr brisalto::PanelLayout::Fractions childPlaces[ControlPanel::numChildren] = {
        { 0.6305f, 0.3076f, 0.0657f, 0.0226f },        // classALabel
        { 0.7533f, 0.3076f, 0.0667f, 0.0226f },        // classABLabel
        { 0.8724f, 0.3076f, 0.0667f, 0.0226f },        // distortLabel
        { 0.8552f, 0.1430f, smallKnobW, smallKnobH },  // distortAmountSlider
        { 0.0571f, 0.3971f, 0.1333f, 0.0401f },        // thresholdLabel
        { 0.0571f, 0.9311f, 0.0571f, 0.0401f },        // maxGrValueLabel
        { 0.1038f, 0.2479f, 0.0838f, 0.0370f },        // groupCombo
        { 0.0457f, 0.1955f, 0.1419f, 0.0401f },        // mixModeCombo
        { 0.0524f, 0.4661f, knobW, knobH },            // thresholdSlider
        { 0.2019f, 0.4661f, knobW, knobH },            // releaseSlider
        { 0.6400f, 0.6831f, toggleW, toggleH },        // autoGainToggle
        { 0.3429f, 0.4661f, knobW, knobH },            // attackSlider
        { 0.6095f, 0.1430f, smallKnobW, smallKnobH },  // classAAmountSlider
        { 0.5686f, ladderY, ladderW, ladderH },        // grLed7
        { 0.6000f, ladderY, ladderW, ladderH },        // grLed6
        { 0.6314f, ladderY, ladderW, ladderH },        // grLed5
        { 0.6610f, ladderY, ladderW, ladderH },        // grLed4
        { 0.6943f, ladderY, ladderW, ladderH },        // grLed3
        { 0.7257f, ladderY, ladderW, ladderH },        // grLed2
        { 0.5391f, ladderY, ladderW, ladderH },        // grLed8
        { 0.7581f, ladderY, ladderW, ladderH },        // grLed1
        { 0.5076f, ladderY, ladderW, ladderH },        // grLed9
        { 0.4762f, ladderY, ladderW, ladderH },        // grLed10
        { 0.2276f, 0.3971f, 0.1067f, 0.0401f },        // releaseLabel
        { 0.3743f, 0.3971f, 0.1067f, 0.0401f },        // attackLabel
        { 0.0467f, 0.1492f, 0.0752f, 0.0401f },        // modeLabel
        { 0.4438f, ladderY, ladderW, ladderH },        // grLed11
        { 0.4105f, ladderY, ladderW, ladderH },        // grLed12
        { 0.3810f, ladderY, ladderW, ladderH },        // grLed13
        { 0.3505f, ladderY, ladderW, ladderH },        // grLed14
        { 0.3191f, ladderY, ladderW, ladderH },        // grLed15
        { 0.4895f, 0.4661f, knobW, knobH },            // ratioSlider
        { 0.6314f, 0.4661f, knobW, knobH },            // makeupGainSlider
        { 0.5276f, 0.3971f, 0.1067f, 0.0401f },        // ratioLabel
        { 0.6610f, 0.3971f, 0.0943f, 0.0401f },        // makeupLabel
        { 0.2067f, 0.6831f, toggleW, toggleH },        // nonLinReleaseToggle
        { 0.0524f, 0.6831f, toggleW, toggleH },        // adaptiveToggle
        { 0.2886f, ladderY, ladderW, ladderH },        // grLed16
        { 0.2571f, ladderY, ladderW, ladderH },        // grLed17
        { 0.2267f, ladderY, ladderW, ladderH },        // grLed18
        { 0.1971f, ladderY, ladderW, ladderH },        // grLed19
        { 0.1638f, ladderY, ladderW, ladderH },        // grLed20
        { 0.4762f, 0.9311f, 0.0400f, 0.0401f },        // grScale10Label
        { 0.1638f, 0.9311f, 0.0400f, 0.0401f },        // grScale20Label
        { 0.6333f, 0.9311f, 0.0400f, 0.0401f },        // grScale5Label
        { 0.3191f, 0.9311f, 0.0400f, 0.0401f },        // grScale15Label
        { 0.5210f, 0.1584f, toggleW, toggleH },        // tubeDistortToggle
        fixedPlace,                                    // serverLabel
        { 0.0524f, 0.8724f, 0.0638f, 0.0401f },        // maxGrLabel
        { 0.7733f, 0.4661f, knobW, knobH },            // mixSlider
        { 0.8171f, 0.3971f, 0.0571f, 0.0401f },        // mixLabel
        { 0.3505f, 0.6831f, toggleW, toggleH },        // smoothToggle
        { 0.7971f, 0.6831f, toggleW, toggleH },        // softLimiterToggle
        { 0.6400f, 0.7500f, toggleW, toggleH },        // maxMakeupToggle
        { 0.7324f, 0.1430f, smallKnobW, smallKnobH },  // classABAmountSlider
        { 0.7505f, 0.0360f, 0.1505f, 0.0658f },        // advancedButton
        { 0.2133f, 0.1656f, smallKnobW, smallKnobH },  // filterFreqSlider
        { 0.4048f, 0.1584f, toggleW, toggleH },        // bpFilterToggle
        { 0.4048f, 0.2274f, toggleW, toggleH },        // listenToggle
        { 0.3295f, 0.1718f, 0.0648f, 0.0401f },        // bpFilterLabel
        { 0.3295f, 0.2407f, 0.0648f, 0.0401f },        // listenLabel
        { 0.4924f, 0.2274f, 0.1029f, 0.0401f },        // tubeDistortLabel
        { 0.1067f, 0.7068f, 0.0905f, 0.0298f },        // adaptiveLabel
        { 0.2571f, 0.7068f, 0.0905f, 0.0298f },        // nonLinearLabel
        { 0.4048f, 0.7068f, 0.0905f, 0.0298f },        // smoothLabel
        { 0.6914f, 0.7047f, 0.0943f, 0.0298f },        // autoGainLabel
        { 0.6914f, 0.7706f, 0.0943f, 0.0298f },        // maxMakeupLabel
        { 0.8495f, 0.7047f, 0.0933f, 0.0298f },        // makeupLimitLabel
        { 0.6809f, 0.0360f, toggleW, toggleH },        // helpButton
        { 0.6067f, 0.0360f, toggleW, toggleH },        // weightButton
        { 0.3686f, 0.0360f, 0.2171f, 0.0658f },        // presetsCombo
        { 0.5609f, 0.1636f, 0.4181f, 0.1636f },        // saveDialog
        { 0.0457f, 0.2479f, 0.0571f, 0.0401f },        // groupLabel
        { 0.1524f, 0.1533f, 0.0191f, 0.0288f },        // groupLed
        { 0.7971f, 0.7562f, toggleW, toggleH },        // hardLimiterToggle
        { 0.8495f, 0.7706f, 0.0819f, 0.0298f },        // brickLimitLabel
        { 0.9476f, 0.7706f, 0.0191f, 0.0298f },        // brickLimitLed
        { 0.9248f, 0.8786f, 0.0191f, 0.0298f },        // clipLed
        { 0.8667f, 0.9311f, 0.0724f, 0.0401f },        // peakValueLabel
        { 0.0248f, 0.0103f, 0.3181f, 0.0823f },        // logoButton
        { 0.8724f, 0.8724f, 0.0524f, 0.0401f },        // clipLabel
        { 0.8429f, 0.8611f, 0.1229f, 0.1296f },        // clipResetButton
        { 0.1457f, 0.2901f, 0.0457f, 0.0514f },        // syncParsToggle
        { 0.0457f, 0.2942f, 0.0857f, 0.0401f },        // syncParsLabel
    };

    // Fonts of the look-and-feel at the design size.
    constexpr float mainFontHeight = 17.0f, textBoxFontHeight = 14.0f;

    const juce::Colour headerColour { 0xff2d7180 };
    const juce::Colour backdropColour { 0x802d7180 };
    const juce::Colour valueOutlineColour { 0x38ffffff };

    // The sub-panels' places at the design size.
    const juce::Rectangle<int> advancedPanelPlace { 45, 120, 700, 385 };
    const juce::Rectangle<int> weightPanelPlace { 35, 100, 720, 405 };
    // The status line: under the preset selector, inside the header band.
    constexpr brisalto::PanelLayout::Fractions statusLinePlace { 0.3686f, 0.1018f, 0.5324f, 0.0300f };
    constexpr float statusFontHeight = 12.0f;
    constexpr int headerHeight = 80;

    float clampedFontHeight (float height) noexcept
    {
        return juce::jlimit (0.1f, 10000.0f, height);
    }
}

struct ControlPanel::KnobSettings
{
    const char* name;
    double minimum, maximum, interval;
    double skew;         // 1 for none
    bool focusOrderOne;  // setExplicitFocusOrder (1)
};

// Visits the owning pointers of the 84 generated children in the order of their creation.
template <typename Panel, typename Visitor>
static void visitGeneratedChildren (Panel& p, Visitor&& visit)
{
    visit (p.classALabel);
    visit (p.classABLabel);
    visit (p.distortLabel);
    visit (p.distortAmountSlider);
    visit (p.thresholdLabel);
    visit (p.maxGrValueLabel);
    visit (p.groupCombo);
    visit (p.mixModeCombo);
    visit (p.thresholdSlider);
    visit (p.releaseSlider);
    visit (p.autoGainToggle);
    visit (p.attackSlider);
    visit (p.classAAmountSlider);
    visit (p.grLed7);
    visit (p.grLed6);
    visit (p.grLed5);
    visit (p.grLed4);
    visit (p.grLed3);
    visit (p.grLed2);
    visit (p.grLed8);
    visit (p.grLed1);
    visit (p.grLed9);
    visit (p.grLed10);
    visit (p.releaseLabel);
    visit (p.attackLabel);
    visit (p.modeLabel);
    visit (p.grLed11);
    visit (p.grLed12);
    visit (p.grLed13);
    visit (p.grLed14);
    visit (p.grLed15);
    visit (p.ratioSlider);
    visit (p.makeupGainSlider);
    visit (p.ratioLabel);
    visit (p.makeupLabel);
    visit (p.nonLinReleaseToggle);
    visit (p.adaptiveToggle);
    visit (p.grLed16);
    visit (p.grLed17);
    visit (p.grLed18);
    visit (p.grLed19);
    visit (p.grLed20);
    visit (p.grScale10Label);
    visit (p.grScale20Label);
    visit (p.grScale5Label);
    visit (p.grScale15Label);
    visit (p.tubeDistortToggle);
    visit (p.serverLabel);
    visit (p.maxGrLabel);
    visit (p.mixSlider);
    visit (p.mixLabel);
    visit (p.smoothToggle);
    visit (p.softLimiterToggle);
    visit (p.maxMakeupToggle);
    visit (p.classABAmountSlider);
    visit (p.advancedButton);
    visit (p.filterFreqSlider);
    visit (p.bpFilterToggle);
    visit (p.listenToggle);
    visit (p.bpFilterLabel);
    visit (p.listenLabel);
    visit (p.tubeDistortLabel);
    visit (p.adaptiveLabel);
    visit (p.nonLinearLabel);
    visit (p.smoothLabel);
    visit (p.autoGainLabel);
    visit (p.maxMakeupLabel);
    visit (p.makeupLimitLabel);
    visit (p.helpButton);
    visit (p.weightButton);
    visit (p.presetsCombo);
    visit (p.saveDialog);
    visit (p.groupLabel);
    visit (p.groupLed);
    visit (p.hardLimiterToggle);
    visit (p.brickLimitLabel);
    visit (p.brickLimitLed);
    visit (p.clipLed);
    visit (p.peakValueLabel);
    visit (p.logoButton);
    visit (p.clipLabel);
    visit (p.clipResetButton);
    visit (p.syncParsToggle);
    visit (p.syncParsLabel);
}

//==============================================================================
ControlPanel::ControlPanel (BrisaltoAudioProcessor& p)
    : processor (p)
    , grLadder { &grLed1,  &grLed2,  &grLed3,  &grLed4,  &grLed5,  &grLed6,  &grLed7,  &grLed8,  &grLed9,  &grLed10,
                 &grLed11, &grLed12, &grLed13, &grLed14, &grLed15, &grLed16, &grLed17, &grLed18, &grLed19, &grLed20 }
{
    createChildren();
    setLookAndFeel (&panelLookAndFeel);
    configureChildren();
    createSubPanels();

    smoothToggle->setVisible (false);
    smoothLabel->setVisible (false);
    saveDialog->setVisible (false);

    saveDialog->onResult = [this] (TextEditPanel* dialog, int result, juce::String name)
    { saveDialogResult (*dialog, result, name); };
    saveDialog->textEditor->setText (TRANS ("my best preset ever"), true);

    fillMixModeItems();
    brisalto::PanelLayout::holdKeyboardFocusForControls (*this);

    // The first layout runs at the design size before any font height is recorded: it changes
    // no label font.
    setSize (designWidth, designHeight);
    backdropLabel->setBounds (0, headerHeight, getWidth(), getHeight() - headerHeight);
    brisalto::PanelLayout::recordLabelFontHeights (*this, labelFontHeights);

    for (auto* led : grLadder)
        (*led)->setLedColor (BlinkingLed::ledCyan);
    brickLimitLed->setLedColor (BlinkingLed::ledAmber);
    clipLed->setLedColor (BlinkingLed::ledRed);

    update_UI();
    // The first frame shows the meters' real state, not the LEDs' initial lit images.
    showMeters();
    startTimer (timerIntervalMs);
}

ControlPanel::~ControlPanel()
{
    stopTimer();
    setLookAndFeel (nullptr);
    visitGeneratedChildren (*this, [] (auto& child) { child.reset(); });

    labelFontHeights.clear();
    statusLine.reset();
    backdropLabel.reset();
    weightPanel.reset();
    advancedPanel.reset();
}

std::vector<juce::Component*> ControlPanel::children() const
{
    std::vector<juce::Component*> list;
    list.reserve (numChildren);
    visitGeneratedChildren (*this, [&list] (const auto& child) { list.push_back (child.get()); });
    return list;
}

//==============================================================================
void ControlPanel::createChildren()
{
    const auto centred = juce::Justification::centred;

    classALabel = makeLabel ("CLASS A", 12.0f, centred);
    classABLabel = makeLabel ("CLASS AB", 12.0f, centred);
    distortLabel = makeLabel ("DISTORT", 12.0f, centred);
    distortAmountSlider = makeKnob ({ "lookahead slider", 0.0, 100.0, 0.01, 0.4, true });
    thresholdLabel = makeLabel ("THRESHOLD", 17.0f);
    maxGrValueLabel = makeLabel ("0", 14.0f, centred);
    groupCombo = makeCombo ("new combo box1", "");
    mixModeCombo = makeCombo ("mixmode combo", "");
    thresholdSlider = makeKnob ({ "right_is_zero_slider", -50.0, 0.0, 0.1, 1.0, false });
    releaseSlider = makeKnob ({ "release slider", 5.0, 4000.0, 1.0, 0.35, true });
    autoGainToggle = makeToggle ("autogain button");
    attackSlider = makeKnob ({ "attack slider", 0.0, 50.0, 0.01, 0.5, true });
    classAAmountSlider = makeKnob ({ "lookahead slider", 0.0, 100.0, 0.01, 0.4, true });
    grLed7 = makeLed();
    grLed6 = makeLed();
    grLed5 = makeLed();
    grLed4 = makeLed();
    grLed3 = makeLed();
    grLed2 = makeLed();
    grLed8 = makeLed();
    grLed1 = makeLed();
    grLed9 = makeLed();
    grLed10 = makeLed();
    releaseLabel = makeLabel ("RELEASE", 17.0f);
    attackLabel = makeLabel ("ATTACK", 17.0f);
    modeLabel = makeLabel ("MODE", 16.0f);
    grLed11 = makeLed();
    grLed12 = makeLed();
    grLed13 = makeLed();
    grLed14 = makeLed();
    grLed15 = makeLed();
    ratioSlider = makeKnob ({ "ratio slider", 1.0, 10.5, 0.1, 1.0, true });
    makeupGainSlider = makeKnob ({ "mid_is_zero_slider", -30.0, 30.0, 0.1, 1.0, true });
    ratioLabel = makeLabel ("RATIO", 17.0f);
    makeupLabel = makeLabel ("MAKEUP", 17.0f);
    nonLinReleaseToggle = makeToggle ("autogain button");
    adaptiveToggle = makeToggle ("autogain button");
    grLed16 = makeLed();
    grLed17 = makeLed();
    grLed18 = makeLed();
    grLed19 = makeLed();
    grLed20 = makeLed();
    grScale10Label = makeLabel ("10", 14.0f);
    grScale20Label = makeLabel ("20", 14.0f);
    grScale5Label = makeLabel ("5", 14.0f);
    grScale15Label = makeLabel ("15", 14.0f);
    tubeDistortToggle = makeToggle ("sat button");
    serverLabel = makeLabel ("server", 11.0f);
    maxGrLabel = makeLabel ("MAX GR", 16.0f);
    mixSlider = makeKnob ({ "mid_is_zero_slider", -100.0, 100.0, 0.1, 1.0, true });
    mixLabel = makeLabel ("MIX", 17.0f);
    smoothToggle = makeToggle ("autogain button");
    softLimiterToggle = makeToggle ("autogain button");
    maxMakeupToggle = makeToggle ("autogain button");
    classABAmountSlider = makeKnob ({ "lookahead slider", 0.0, 100.0, 0.01, 0.4, true });
    advancedButton = makeTextButton ("adv btn", "ADVANCED");
    filterFreqSlider = makeKnob ({ "lookahead slider", 50.0, 20000.0, 1.0, 0.2, true });
    bpFilterToggle = makeToggle ("sat button");
    listenToggle = makeToggle ("sat button");
    bpFilterLabel = makeLabel ("BP FILTER", 12.0f);
    listenLabel = makeLabel ("LISTEN", 12.0f);
    tubeDistortLabel = makeLabel ("TUBE-DISTORT", 12.0f);
    adaptiveLabel = makeLabel ("ADAPTIVE", 12.0f);
    nonLinearLabel = makeLabel ("NON LINEAR", 12.0f);
    smoothLabel = makeLabel ("SMOOTH", 12.0f);
    autoGainLabel = makeLabel ("AUTO GAIN", 12.0f);
    maxMakeupLabel = makeLabel ("MAX MAKEUP", 12.0f);
    makeupLimitLabel = makeLabel ("MAKEUP LIMIT", 12.0f);
    helpButton = makeTextButton ("btn", "?");
    weightButton = makeTextButton ("btn", "W");
    presetsCombo = makeCombo ("presets_combo", "Presets");

    saveDialog = std::make_unique<TextEditPanel>();
    saveDialog->setName ("new component");
    addAndMakeVisible (*saveDialog);

    groupLabel = makeLabel ("GROUP", 12.0f);
    groupLed = makeLed();
    hardLimiterToggle = makeToggle ("autogain button");
    brickLimitLabel = makeLabel ("BRICK LIMIT", 12.0f);
    brickLimitLed = makeLed();
    clipLed = makeLed();
    peakValueLabel = makeLabel ("0", 14.0f, centred);
    logoButton = makeImageButton ("BrisaltoBtn");
    clipLabel = makeLabel ("CLIP", 16.0f);
    clipResetButton = makeImageButton ("clipresetbtn");
    syncParsToggle = makeToggle ("sat button");
    syncParsLabel = makeLabel ("SYNC PARS", 12.0f);
}

void ControlPanel::configureChildren()
{
    maxGrValueLabel->setColour (juce::Label::outlineColourId, valueOutlineColour);
    peakValueLabel->setColour (juce::Label::outlineColourId, valueOutlineColour);
    autoGainToggle->setTooltip (TRANS ("allows to compare the real compression without gain increase"));
    serverLabel->setBounds (serverLabelBounds);

    weightButton->setClickingTogglesState (true);
    advancedButton->setClickingTogglesState (true);

    groupCombo->addItem (TRANS ("OFF"), 1);
    for (int group = 1; group <= 15; ++group)
        groupCombo->addItem (juce::String (group), group + 1);

    mixModeCombo->addItem (TRANS ("multi-mono"), (int) MixMode::multiMono);
    mixModeCombo->addItem (TRANS ("sum"), (int) MixMode::sum);
    mixModeCombo->addItem (TRANS ("side"), (int) MixMode::side);

    presetsCombo->addItem (TRANS ("Save Preset"), 1);
    presetsCombo->addItem (TRANS ("preset 1"), 2);
    presetsCombo->addItem (TRANS ("preset 2"), 3);

    makeupGainSlider->setDoubleClickReturnValue (true, 0.0);
    mixSlider->setDoubleClickReturnValue (true, 100.0);

    logoButton->setImages (false, true, true, brisalto::EmbeddedArt::image ("wordmark.png"), 1.0f,
                           juce::Colours::transparentBlack, {}, 1.0f, juce::Colours::transparentBlack, {}, 1.0f,
                           juce::Colours::transparentBlack);
}

void ControlPanel::createSubPanels()
{
    backdropLabel = std::make_unique<juce::Label> (juce::String(), juce::String());
    backdropLabel->setColour (juce::Label::backgroundColourId, backdropColour);
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*backdropLabel);
    addChildComponent (*backdropLabel);

    statusLine = brisalto::PanelLayout::addTextLabel (*this, {}, statusFontHeight, juce::Justification::centredLeft);
    statusLine->setName ("status line");

    // Both settings panels scale with the main panel from their places at its design size.
    advancedPanel = std::make_unique<AdvancedPanel1> (processor);
    addChildComponent (*advancedPanel);
    advancedPanel->setBounds (advancedPanelPlace);

    weightPanel = std::make_unique<WeightPanel> (processor);
    addChildComponent (*weightPanel);
    weightPanel->setBounds (weightPanelPlace);
}

void ControlPanel::showSettingsPanel (juce::Component* shown)
{
    // One settings panel at a time, over the backdrop that keeps the main panel's controls
    // beneath from taking clicks.
    advancedPanel->setVisible (shown == advancedPanel.get());
    weightPanel->setVisible (shown == weightPanel.get());
    backdropLabel->setVisible (shown != nullptr);
    advancedButton->setToggleState (shown == advancedPanel.get(), juce::dontSendNotification);
    weightButton->setToggleState (shown == weightPanel.get(), juce::dontSendNotification);
}

void ControlPanel::fillMixModeItems()
{
    // The Standalone has no other instance to exchange a side-chain with: it offers no "side"
    // mode. Plug-ins offer all four.
    mixModeCombo->clear (juce::dontSendNotification);
    mixModeCombo->addItem (TRANS ("multi-mono"), (int) MixMode::multiMono);
    mixModeCombo->addItem (TRANS ("sum"), (int) MixMode::sum);
    if (processor.wrapperType != juce::AudioProcessor::wrapperType_Standalone)
        mixModeCombo->addItem (TRANS ("side"), (int) MixMode::side);
    mixModeCombo->addItem (TRANS ("side MIDI"), (int) MixMode::sideMidi);
}

//==============================================================================
std::unique_ptr<juce::Label> ControlPanel::makeLabel (const char* text, float fontHeight, juce::Justification justification)
{
    return brisalto::PanelLayout::addTextLabel (*this, text, fontHeight, justification);
}

std::unique_ptr<juce::Slider> ControlPanel::makeKnob (const KnobSettings& settings)
{
    auto knob = std::make_unique<juce::Slider> (settings.name);
    knob->setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    knob->setTextBoxStyle (juce::Slider::TextBoxBelow, false, 50, 16);
    knob->setRange (settings.minimum, settings.maximum, settings.interval);
    if (settings.skew != 1.0)
        knob->setSkewFactor (settings.skew, false);
    if (settings.focusOrderOne)
        knob->setExplicitFocusOrder (1);
    knob->addListener (this);
    brisalto::PanelLayout::stepWithArrowKeysOnceClicked (*knob);
    addAndMakeVisible (*knob);
    return knob;
}

std::unique_ptr<juce::ToggleButton> ControlPanel::makeToggle (const char* name)
{
    // The look-and-feel draws toggles as images only.
    auto toggle = std::make_unique<juce::ToggleButton> (name);
    toggle->setButtonText ({});
    toggle->addListener (this);
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*toggle);
    addAndMakeVisible (*toggle);
    return toggle;
}

std::unique_ptr<juce::TextButton> ControlPanel::makeTextButton (const char* name, const char* text)
{
    auto button = std::make_unique<juce::TextButton> (name);
    button->setButtonText (TRANS (text));
    button->addListener (this);
    button->setColour (juce::TextButton::buttonColourId, juce::Colour (0x00000000));
    button->setColour (juce::TextButton::buttonOnColourId, juce::Colour (0x19000000));
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*button);
    addAndMakeVisible (*button);
    return button;
}

std::unique_ptr<juce::ImageButton> ControlPanel::makeImageButton (const char* name)
{
    auto button = std::make_unique<juce::ImageButton> (name);
    button->setButtonText (TRANS ("new button"));
    button->addListener (this);
    button->setImages (false, true, true, {}, 1.0f, juce::Colours::transparentBlack, {}, 1.0f, juce::Colours::transparentBlack,
                       {}, 1.0f, juce::Colours::transparentBlack);
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*button);
    addAndMakeVisible (*button);
    return button;
}

std::unique_ptr<ComboBox_IgnoreKeys> ControlPanel::makeCombo (const char* name, const char* textWhenNothingSelected)
{
    auto combo = std::make_unique<ComboBox_IgnoreKeys> (name);
    combo->setEditableText (false);
    combo->setJustificationType (juce::Justification::centredLeft);
    combo->setTextWhenNothingSelected (TRANS (textWhenNothingSelected));
    combo->setTextWhenNoChoicesAvailable (TRANS ("(no choices)"));
    combo->addListener (this);
    brisalto::PanelLayout::leaveKeyboardFocusToPanel (*combo);
    addAndMakeVisible (*combo);
    return combo;
}

std::unique_ptr<BlinkingLed> ControlPanel::makeLed()
{
    auto led = std::make_unique<BlinkingLed>();
    led->setName ("new component");
    addAndMakeVisible (*led);
    return led;
}

//==============================================================================
void ControlPanel::resized()
{
    layOutChildren();
    rescaleFonts();

    const float sy = (float) getHeight() / (float) designHeight;
    if (statusLine != nullptr)
        statusLine->setBounds (brisalto::PanelLayout::place (statusLinePlace, (float) getWidth(), (float) getHeight()));
    if (advancedPanel != nullptr)
        advancedPanel->setBounds (brisalto::PanelLayout::scaledPlace (advancedPanelPlace, *this, designWidth, designHeight));
    if (weightPanel != nullptr)
        weightPanel->setBounds (brisalto::PanelLayout::scaledPlace (weightPanelPlace, *this, designWidth, designHeight));
    if (backdropLabel != nullptr)
        backdropLabel->setBounds (0, (int) ((float) headerHeight * sy), getWidth(),
                                  (int) ((float) getHeight() - (float) headerHeight * sy));
}

void ControlPanel::layOutChildren()
{
    const auto w = (float) getWidth(), h = (float) getHeight();
    const auto list = children();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] != nullptr && childPlaces[i].x >= 0.0f)
            list[i]->setBounds (brisalto::PanelLayout::place (childPlaces[i], w, h));
}

void ControlPanel::rescaleFonts()
{
    // At the design size or larger the fonts keep their design heights; below it they shrink
    // with the smaller of the two scales. Labels are always derived from their recorded
    // heights, so that resizing back and forth never accumulates.
    const bool atLeastDesignSize = getWidth() >= designWidth && getHeight() >= designHeight;
    const float scale = juce::jmin ((float) getWidth() / (float) designWidth, (float) getHeight() / (float) designHeight);
    const auto scaled = [&] (float height) { return atLeastDesignSize ? height : clampedFontHeight (height * scale + 0.5f); };

    panelLookAndFeel.shrink = atLeastDesignSize ? 1.0f : scale;
    panelLookAndFeel.mainFont.setHeight (scaled (mainFontHeight));
    panelLookAndFeel.textBoxFont.setHeight (scaled (textBoxFontHeight));
    setLookAndFeel (nullptr);
    setLookAndFeel (&panelLookAndFeel);

    for (auto* child : getChildren())
    {
        auto* label = dynamic_cast<juce::Label*> (child);
        if (label == nullptr)
            continue;

        const auto recorded = labelFontHeights.find (label);
        if (atLeastDesignSize && recorded == labelFontHeights.end())
            continue;

        const float base = recorded != labelFontHeights.end() ? recorded->second : label->getFont().getHeight();
        label->setFont (brisalto::PanelLayout::labelFont (clampedFontHeight (scaled (base))));
    }
}

void ControlPanel::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff2c2c30));

    const float width = (float) getWidth(), height = (float) getHeight();
    const float sx = width / (float) designWidth, sy = height / (float) designHeight;

    g.setColour (headerColour);
    g.fillRect (juce::Rectangle<float> (0.0f, 0.0f, width, (float) headerHeight * sy));

    g.setColour (juce::Colour (0x1affffff));
    g.drawLine (44.0f * sx, 210.0f * sy, 756.0f * sx, 210.0f * sy, 2.0f);
    g.drawLine (44.0f * sx, 510.0f * sy, 756.0f * sx, 510.0f * sy, 2.0f);
    g.drawLine (385.0f * sx, 100.0f * sy, 385.0f * sx, 200.0f * sy, 2.0f);
}

void ControlPanel::showStatus (const juce::String& message)
{
    statusLine->setText (message, juce::dontSendNotification);
    statusTicksLeft = message.isEmpty() ? 0 : statusTicks;
}

bool ControlPanel::keyPressed (const juce::KeyPress&)
{
    return false;
}

void ControlPanel::modifierKeysChanged (const juce::ModifierKeys&)
{
}

void ControlPanel::mouseDrag (const juce::MouseEvent&)
{
}

void ControlPanel::mouseUp (const juce::MouseEvent&)
{
}
