#pragma once

#include "editor/lnf/ForcePopupsInParentWindow.h"
#include "editor/panels/AdvancedPanel1.h"
#include "editor/panels/PanelLayout.h"
#include "editor/panels/PresetMenu.h"
#include "editor/panels/TextEditPanel.h"
#include "editor/panels/WeightPanel.h"
#include "editor/widgets/BlinkingLed.h"
#include "editor/widgets/ComboBox_IgnoreKeys.h"

#include <array>
#include <memory>
#include <optional>
#include <vector>

class BrisaltoAudioProcessor;
namespace brisalto::platform::desktop
{
    class Outcome;
}

// The editor's main panel, designed at 800 × 600: the compressor's knobs and switches, the
// gain-reduction ladder with its MAX GR value, the limiter and clip LEDs with the output peak,
// the mix-mode and group selectors, the preset selector, and the advanced and weight panels
// that open over it. Every child sits at fixed fractions of the panel's size; label, button and
// text-box fonts shrink with the panel below its design size and never grow above it.
class ControlPanel : public juce::Component,
                     public juce::Timer,
                     public juce::TextEditor::Listener,
                     public juce::Slider::Listener,
                     public juce::ComboBox::Listener,
                     public juce::Button::Listener
{
public:
    static constexpr int designWidth = 800, designHeight = 600;
    static constexpr int numLadderLeds = 20;
    static constexpr int numChildren = 84;
    static constexpr int timerIntervalMs = 20;

    explicit ControlPanel (BrisaltoAudioProcessor&);
    ~ControlPanel() override;

    // Shows the processor's state in every control.
    void update_UI();
    // Enables the controls whose switches are on.
    void update_dependant_UI();

    // The preset selector (ControlPanelPresets.cpp). A rebuild happens only when the store's
    // view changed since the last one, or after a command.
    void updateUserPresets();
    void add_groups_2_menu (int k, juce::String name, juce::PopupMenu* menu);
    // Where "Copy factory presets" takes its files: the plug-in's resources folder unless set.
    juce::File factoryPresetFolder;

    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void modifierKeysChanged (const juce::ModifierKeys&) override;
    void resized() override;
    void timerCallback() override;
    void sliderValueChanged (juce::Slider*) override;
    void sliderDragStarted (juce::Slider*) override;
    void sliderDragEnded (juce::Slider*) override;
    void comboBoxChanged (juce::ComboBox*) override;
    void buttonClicked (juce::Button*) override;

    // The 84 generated children in the order of their creation (and deletion).
    std::vector<juce::Component*> children() const;

    BrisaltoAudioProcessor& processor;

    // Meter state of the timer.
    float shownMaxGainReduction = 0.0f;
    juce::int32 peakHoldLed = -1;
    juce::int32 peakHoldTicks = 0;
    juce::int32 brickLimitTicks = 0;
    float shownOutputPeak = -1000.0f;
    juce::int32 staleTicks = 0;
    juce::int32 lastRenderCount = 0;

    // How many refreshes (update_UI) the panel has run.
    juce::int32 refreshCount = 0;

    ForcePopupsInParentWindow panelLookAndFeel;

    // Entry i is the LED for a gain reduction of i + 1 dB: entry 0 the rightmost.
    std::array<std::unique_ptr<BlinkingLed>*, numLadderLeds> grLadder;

    // One line under the preset selector that says why something the user asked for did not
    // happen; it clears itself after a few seconds.
    std::unique_ptr<juce::Label> statusLine;
    void showStatus (const juce::String& message);
    static constexpr int statusTicks = 200;  // 4 s of timer ticks
    juce::int32 statusTicksLeft = 0;

    // Help and the logo open through the desktop; the timer follows what became of the last
    // launch for a while and shows `launchFailure` when nothing could open it.
    bool openWatched (const juce::String& pathOrAddress, const juce::String& failure);
    std::unique_ptr<brisalto::platform::desktop::Outcome> launchOutcome;
    juce::String launchFailure;
    static constexpr int launchTicks = 500;  // 10 s: a program that opened may keep xdg-open running
    juce::int32 launchTicksLeft = 0;

    std::unique_ptr<AdvancedPanel1> advancedPanel;
    std::unique_ptr<WeightPanel> weightPanel;
    std::unique_ptr<juce::Label> backdropLabel;
    brisalto::PanelLayout::LabelFontHeights labelFontHeights;

    std::unique_ptr<juce::Label> classALabel;
    std::unique_ptr<juce::Label> classABLabel;
    std::unique_ptr<juce::Label> distortLabel;
    std::unique_ptr<juce::Slider> distortAmountSlider;
    std::unique_ptr<juce::Label> thresholdLabel;
    std::unique_ptr<juce::Label> maxGrValueLabel;
    std::unique_ptr<ComboBox_IgnoreKeys> groupCombo;
    std::unique_ptr<ComboBox_IgnoreKeys> mixModeCombo;
    std::unique_ptr<juce::Slider> thresholdSlider;
    std::unique_ptr<juce::Slider> releaseSlider;
    std::unique_ptr<juce::ToggleButton> autoGainToggle;
    std::unique_ptr<juce::Slider> attackSlider;
    std::unique_ptr<juce::Slider> classAAmountSlider;
    std::unique_ptr<BlinkingLed> grLed7;
    std::unique_ptr<BlinkingLed> grLed6;
    std::unique_ptr<BlinkingLed> grLed5;
    std::unique_ptr<BlinkingLed> grLed4;
    std::unique_ptr<BlinkingLed> grLed3;
    std::unique_ptr<BlinkingLed> grLed2;
    std::unique_ptr<BlinkingLed> grLed8;
    std::unique_ptr<BlinkingLed> grLed1;
    std::unique_ptr<BlinkingLed> grLed9;
    std::unique_ptr<BlinkingLed> grLed10;
    std::unique_ptr<juce::Label> releaseLabel;
    std::unique_ptr<juce::Label> attackLabel;
    std::unique_ptr<juce::Label> modeLabel;
    std::unique_ptr<BlinkingLed> grLed11;
    std::unique_ptr<BlinkingLed> grLed12;
    std::unique_ptr<BlinkingLed> grLed13;
    std::unique_ptr<BlinkingLed> grLed14;
    std::unique_ptr<BlinkingLed> grLed15;
    std::unique_ptr<juce::Slider> ratioSlider;
    std::unique_ptr<juce::Slider> makeupGainSlider;
    std::unique_ptr<juce::Label> ratioLabel;
    std::unique_ptr<juce::Label> makeupLabel;
    std::unique_ptr<juce::ToggleButton> nonLinReleaseToggle;
    std::unique_ptr<juce::ToggleButton> adaptiveToggle;
    std::unique_ptr<BlinkingLed> grLed16;
    std::unique_ptr<BlinkingLed> grLed17;
    std::unique_ptr<BlinkingLed> grLed18;
    std::unique_ptr<BlinkingLed> grLed19;
    std::unique_ptr<BlinkingLed> grLed20;
    std::unique_ptr<juce::Label> grScale10Label;
    std::unique_ptr<juce::Label> grScale20Label;
    std::unique_ptr<juce::Label> grScale5Label;
    std::unique_ptr<juce::Label> grScale15Label;
    std::unique_ptr<juce::ToggleButton> tubeDistortToggle;
    std::unique_ptr<juce::Label> serverLabel;
    std::unique_ptr<juce::Label> maxGrLabel;
    std::unique_ptr<juce::Slider> mixSlider;
    std::unique_ptr<juce::Label> mixLabel;
    std::unique_ptr<juce::ToggleButton> smoothToggle;
    std::unique_ptr<juce::ToggleButton> softLimiterToggle;
    std::unique_ptr<juce::ToggleButton> maxMakeupToggle;
    std::unique_ptr<juce::Slider> classABAmountSlider;
    std::unique_ptr<juce::TextButton> advancedButton;
    std::unique_ptr<juce::Slider> filterFreqSlider;
    std::unique_ptr<juce::ToggleButton> bpFilterToggle;
    std::unique_ptr<juce::ToggleButton> listenToggle;
    std::unique_ptr<juce::Label> bpFilterLabel;
    std::unique_ptr<juce::Label> listenLabel;
    std::unique_ptr<juce::Label> tubeDistortLabel;
    std::unique_ptr<juce::Label> adaptiveLabel;
    std::unique_ptr<juce::Label> nonLinearLabel;
    std::unique_ptr<juce::Label> smoothLabel;
    std::unique_ptr<juce::Label> autoGainLabel;
    std::unique_ptr<juce::Label> maxMakeupLabel;
    std::unique_ptr<juce::Label> makeupLimitLabel;
    std::unique_ptr<juce::TextButton> helpButton;
    std::unique_ptr<juce::TextButton> weightButton;
    std::unique_ptr<ComboBox_IgnoreKeys> presetsCombo;
    std::unique_ptr<TextEditPanel> saveDialog;
    std::unique_ptr<juce::Label> groupLabel;
    std::unique_ptr<BlinkingLed> groupLed;
    std::unique_ptr<juce::ToggleButton> hardLimiterToggle;
    std::unique_ptr<juce::Label> brickLimitLabel;
    std::unique_ptr<BlinkingLed> brickLimitLed;
    std::unique_ptr<BlinkingLed> clipLed;
    std::unique_ptr<juce::Label> peakValueLabel;
    std::unique_ptr<juce::ImageButton> logoButton;
    std::unique_ptr<juce::Label> clipLabel;
    std::unique_ptr<juce::ImageButton> clipResetButton;
    std::unique_ptr<juce::ToggleButton> syncParsToggle;
    std::unique_ptr<juce::Label> syncParsLabel;

private:
    struct KnobSettings;

    void createChildren();
    void configureChildren();
    void createSubPanels();
    void fillMixModeItems();
    // The LEDs and values of the timer from the processor's meters.
    void showMeters();
    void followLaunch();
    // Follows switch and filter-type changes that reached the processor without a refresh.
    void followDependencies();
    void showSettingsPanel (juce::Component* shownOrNull);
    void showWeightButton();
    void layOutChildren();
    void rescaleFonts();

    void presetsComboChanged();
    void runPresetCommand (int id);
    void openSaveDialog();
    void focusNameField();
    static constexpr int nameFieldFocusTickLimit = 50;
    int nameFieldFocusTicks = 0;
    void saveDialogResult (TextEditPanel&, int result, const juce::String& name);
    void saveAsDefault();
    void rebuildPresetMenu();
    brisalto::PresetMenu::View presetMenuView();

    // The switches and filter type that the enablement and the filter label last showed.
    int dependencyState() const;
    int shownDependencyState = -1;

    std::optional<brisalto::PresetMenu::View> shownPresetView;
    int presetMenuSelectedId = 0;  // the id the last rebuild selected

    std::unique_ptr<juce::Label> makeLabel (const char* text, float fontHeight,
                                            juce::Justification = juce::Justification::centredLeft);
    std::unique_ptr<juce::Slider> makeKnob (const KnobSettings&);
    std::unique_ptr<juce::ToggleButton> makeToggle (const char* name);
    std::unique_ptr<juce::TextButton> makeTextButton (const char* name, const char* text);
    std::unique_ptr<juce::ImageButton> makeImageButton (const char* name);
    std::unique_ptr<ComboBox_IgnoreKeys> makeCombo (const char* name, const char* textWhenNothingSelected);
    std::unique_ptr<BlinkingLed> makeLed();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ControlPanel)
};
