#include "editor/shell/BrisaltoAudioProcessorEditor.h"

#include "editor/panels/ControlPanel.h"
#include "processor/PluginProcessor.h"

BrisaltoAudioProcessorEditor::BrisaltoAudioProcessorEditor (BrisaltoAudioProcessor& p)
    : juce::AudioProcessorEditor (p)
    , audioProcessor (p)
{
    setResizable (true, true);

    controlPanel = std::make_unique<ControlPanel> (audioProcessor);
    addAndMakeVisible (*controlPanel);

    tooltipWindow = std::make_unique<EditorTooltipWindow> (this, tooltipDelayMs);

    designHeight = controlPanel->getHeight();
    designWidth = controlPanel->getWidth();

    // A stored size is restored only when it lies between the minimum and the design size.
    const int storedW = audioProcessor.pluginResizedW;
    const int storedH = audioProcessor.pluginResizedH;
    const bool restorable =
        storedW >= minimumWidth && storedW <= designWidth && storedH >= minimumHeight && storedH <= designHeight;
    setSize (restorable ? storedW : designWidth, restorable ? storedH : designHeight);

    setResizeLimits (minimumWidth, minimumHeight, maximumWidth, 2 * designHeight);
}

BrisaltoAudioProcessorEditor::~BrisaltoAudioProcessorEditor()
{
    setLookAndFeel (nullptr);
    tooltipWindow.reset();
    controlPanel.reset();
}

void BrisaltoAudioProcessorEditor::paint (juce::Graphics& g)
{
    // Black behind and beside the panel. The process-wide default look-and-feel stays as it is:
    // the Standalone window and JUCE's dialogs read it too.
    g.fillAll (juce::Colours::black);
}

juce::Rectangle<int> BrisaltoAudioProcessorEditor::panelBoundsIn (int width, int height) noexcept
{
    if (width <= 0 || height <= 0)
        return {};

    const float w = (float) width, h = (float) height;
    float ratio = w / h;
    if (ratio < 4.0f / 3.0f)
        ratio = 4.0f / 3.0f;
    else if ((double) ratio > 1.6)
        ratio = 1.6f;

    const bool widthLimits = w < h * ratio;
    const float contentW = widthLimits ? w : h * ratio;
    const float contentH = widthLimits ? w / ratio : h;
    const int x = w > contentW ? (int) ((w - contentW) * 0.5f) : 0;
    const int y = h > contentH ? (int) ((h - contentH) * 0.5f) : 0;
    return { x, y, (int) contentW, (int) contentH };
}

void BrisaltoAudioProcessorEditor::resized()
{
    // Before the panel exists, and at an empty size, there is nothing to fit: the stored size stays.
    const auto area = panelBoundsIn (getWidth(), getHeight());
    if (controlPanel == nullptr || area.isEmpty())
        return;

    controlPanel->setBounds (area);
    audioProcessor.pluginResizedW = area.getWidth();
    audioProcessor.pluginResizedH = area.getHeight();
}

int BrisaltoAudioProcessorEditor::getControlParameterIndex (juce::Component& component)
{
    using Row = std::pair<const juce::Component*, int>;
    const auto lookUp = [&component] (std::initializer_list<Row> rows)
    {
        for (const auto& [knob, index] : rows)
            if (knob == &component)
                return index;
        return -1;
    };

    if (controlPanel == nullptr)
        return -1;

    const auto& panel = *controlPanel;
    const int mainIndex = lookUp ({
        { panel.distortAmountSlider.get(), 20 },
        { panel.thresholdSlider.get(), 0 },
        { panel.releaseSlider.get(), 1 },
        { panel.attackSlider.get(), 3 },
        { panel.classAAmountSlider.get(), 10 },
        { panel.ratioSlider.get(), 5 },
        { panel.makeupGainSlider.get(), 6 },
        { panel.mixSlider.get(), 12 },
        { panel.classABAmountSlider.get(), 27 },
        { panel.filterFreqSlider.get(), 22 },
    });
    if (mainIndex >= 0 || panel.advancedPanel == nullptr)
        return mainIndex;

    const auto& advanced = *panel.advancedPanel;
    return lookUp ({
        { advanced.maxGainLevelSlider.get(), 15 },
        { advanced.autoGainAmountSlider.get(), 19 },
        { advanced.adaptiveAmountSlider.get(), 17 },
        { advanced.adaptiveGainSlider.get(), 16 },
        { advanced.lookaheadSlider.get(), 4 },
        { advanced.filterQSlider.get(), 25 },
        { advanced.nonLinReleaseSlider.get(), 26 },
        { advanced.limiterReleaseSlider.get(), 29 },
    });
}

void BrisaltoAudioProcessorEditor::handleAsyncUpdate()
{
    if (controlPanel != nullptr)
        controlPanel->update_UI();
}
