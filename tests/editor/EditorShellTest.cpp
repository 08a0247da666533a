#include "EditorTestSupport.h"
#include "OpenEditor.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
    juce::Rectangle<int> storedSize (BrisaltoAudioProcessor& p)
    {
        return { p.pluginResizedW.load(), p.pluginResizedH.load() };
    }
}

TEST (EditorShell, OpensAtTheStoredSizeOnlyWithinTheDesignSize)
{
    struct Row
    {
        int storedW, storedH, openW, openH;
    };
    const Row rows[] = {
        { 640, 480, 640, 480 }, { 639, 480, 800, 600 }, { 640, 479, 800, 600 }, { 800, 601, 800, 600 },
        { 801, 600, 800, 600 }, { 0, 0, 800, 600 },     { -5, 480, 800, 600 },
    };

    for (const auto& row : rows)
    {
        OpenEditor open (row.storedW, row.storedH);
        SCOPED_TRACE (juce::String (row.storedW) + " x " + juce::String (row.storedH));
        EXPECT_EQ (open.editor->getWidth(), row.openW);
        EXPECT_EQ (open.editor->getHeight(), row.openH);
        EXPECT_EQ (open.shell().designWidth, 800);
        EXPECT_EQ (open.shell().designHeight, 600);
        if (row.openW == 640)
        {
            EXPECT_EQ (open.panel().getBounds(), juce::Rectangle<int> (0, 0, 640, 480));
        }
    }
}

TEST (EditorShell, FitsThePanelIntoTheWindowAndStoresItsSize)
{
    struct Row
    {
        int windowW, windowH;
        juce::Rectangle<int> panel;
    };
    const Row rows[] = {
        { 1000, 600, { 20, 0, 960, 600 } },   { 800, 700, { 0, 50, 800, 600 } }, { 900, 600, { 0, 0, 900, 600 } },
        { 1600, 1200, { 0, 0, 1600, 1200 } }, { 640, 480, { 0, 0, 640, 480 } },  { 40, 40, { 0, 5, 40, 30 } },
        { 1600, 40, { 768, 0, 64, 40 } },
    };

    OpenEditor open;
    for (const auto& row : rows)
    {
        SCOPED_TRACE (juce::String (row.windowW) + " x " + juce::String (row.windowH));
        open.editor->setSize (row.windowW, row.windowH);
        EXPECT_EQ (open.panel().getBounds(), row.panel);
        EXPECT_EQ (storedSize (open.processor), row.panel.withZeroOrigin());
    }

    // The largest window is stored as it is, but a new editor opens at the design size.
    open.editor->setSize (1600, 1200);
    open.close();
    open.editor.reset (open.processor.createEditorIfNeeded());
    EXPECT_EQ (open.editor->getBounds(), juce::Rectangle<int> (0, 0, 800, 600));

    auto* limits = open.editor->getConstrainer();
    ASSERT_NE (limits, nullptr);
    EXPECT_EQ (limits->getMinimumWidth(), 640);
    EXPECT_EQ (limits->getMinimumHeight(), 480);
    EXPECT_EQ (limits->getMaximumWidth(), 1600);
    EXPECT_EQ (limits->getMaximumHeight(), 1200);
    EXPECT_TRUE (open.editor->isResizable());
}

TEST (EditorShell, EmptyWindowOrMissingPanelKeepsTheStoredSize)
{
    OpenEditor open (640, 480);
    for (const auto& size : { juce::Point<int> (0, 600), juce::Point<int> (800, 0), juce::Point<int> (0, 0) })
    {
        open.editor->setSize (size.x, size.y);
        EXPECT_EQ (storedSize (open.processor), juce::Rectangle<int> (640, 480));
        EXPECT_EQ (open.panel().getBounds(), juce::Rectangle<int> (0, 0, 640, 480));
    }

    open.shell().controlPanel.reset();
    open.editor->setSize (900, 600);
    EXPECT_EQ (storedSize (open.processor), juce::Rectangle<int> (640, 480));
    juce::Slider stranger;
    EXPECT_EQ (open.shell().getControlParameterIndex (stranger), -1);
    open.shell().handleAsyncUpdate();
}

TEST (EditorShell, NamesTheParameterOfEachKnob)
{
    OpenEditor open;
    auto& panel = open.panel();
    auto& advanced = *panel.advancedPanel;
    const std::pair<juce::Component*, int> rows[] = {
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
        { advanced.maxGainLevelSlider.get(), 15 },
        { advanced.autoGainAmountSlider.get(), 19 },
        { advanced.adaptiveAmountSlider.get(), 17 },
        { advanced.adaptiveGainSlider.get(), 16 },
        { advanced.lookaheadSlider.get(), 4 },
        { advanced.filterQSlider.get(), 25 },
        { advanced.nonLinReleaseSlider.get(), 26 },
        { advanced.limiterReleaseSlider.get(), 29 },
        { panel.groupCombo.get(), -1 },
        { panel.mixModeCombo.get(), -1 },
        { panel.advancedButton.get(), -1 },
        { panel.autoGainToggle.get(), -1 },
        { panel.weightPanel->weightSliders[0], -1 },
        { advanced.filterTypeCombo.get(), -1 },
        { &panel, -1 },
    };
    for (const auto& [component, index] : rows)
        EXPECT_EQ (open.shell().getControlParameterIndex (*component), index) << component->getName();

    OpenEditor other;
    EXPECT_EQ (open.shell().getControlParameterIndex (*other.panel().thresholdSlider), -1);
}

TEST (EditorShell, OwnsATooltipWindowForTheControlsThatHaveTips)
{
    OpenEditor open;
    auto* tips = open.shell().tooltipWindow.get();
    ASSERT_NE (tips, nullptr);
    EXPECT_EQ (tips->getParentComponent(), open.editor.get());
    // Without the system's focus, like a plug-in in a host's window (this program has none
    // unless a windowed test ran before in it).
    if (juce::Process::isForegroundProcess())
        GTEST_SKIP() << "this process holds the focus";
    EXPECT_EQ (tips->getTipFor (*open.panel().autoGainToggle), "allows to compare the real compression without gain increase");
    EXPECT_EQ (tips->getTipFor (*open.panel().advancedPanel->adaptiveAmountSlider),
               "relative amount of  compression in quiet parts");
    EXPECT_EQ (tips->getTipFor (*open.panel().ratioSlider), "");
}

TEST (EditorShell, PaintsBlackBarsAroundThePanelAndLeavesTheDefaultLookAndFeel)
{
    auto& defaultLook = juce::LookAndFeel::getDefaultLookAndFeel();
    const auto defaultBackground = defaultLook.findColour (juce::ResizableWindow::backgroundColourId);

    OpenEditor open;
    open.editor->setSize (1000, 600);
    const auto snapshot = open.editor->createComponentSnapshot (open.editor->getLocalBounds());

    struct Pixel
    {
        int x, y;
        juce::uint32 argb;
    };
    const Pixel pixels[] = {
        { 5, 300, 0xff000000 },  { 994, 300, 0xff000000 },     // the bars beside the 960-wide panel
        { 500, 70, 0xff2d7180 }, { 20 + 959, 5, 0xff2d7180 },  // the header band
        { 32, 300, 0xff2c2c30 }, { 500, 590, 0xff2c2c30 },     // the background
    };
    for (const auto& pixel : pixels)
        EXPECT_EQ (snapshot.getPixelAt (pixel.x, pixel.y).getARGB(), pixel.argb) << pixel.x << ", " << pixel.y;

    EXPECT_EQ (defaultLook.findColour (juce::ResizableWindow::backgroundColourId), defaultBackground);
}

TEST (EditorRefresh, BurstOnTheMessageThreadIsOneRefresh)
{
    OpenEditor open;
    pumpPendingMessages (1000);
    const int before = open.panel().refreshCount;

    for (int i = 0; i < 100; ++i)
        open.processor.setParameter (Threshold, (float) (i % 10) / 10.0f);
    EXPECT_TRUE (open.shell().isUpdatePending());

    pumpPendingMessages (1000);
    EXPECT_EQ (open.panel().refreshCount, before + 1);
}

TEST (EditorRefresh, OtherThreadsLeaveARequestForThePanelTimer)
{
    OpenEditor open;
    open.panel().stopTimer();  // the test ticks the panel itself; the real timer would take the request early
    pumpPendingMessages (1000);
    open.panel().timerCallback();
    const int before = open.panel().refreshCount;

    std::thread host (
        [&open]
        {
            for (int i = 0; i < 100; ++i)
                open.processor.setParameter (Ratio, (float) (i % 10) / 10.0f);
            const juce::String chunk = "{ \"Threshold\": 0.5 }";
            open.processor.setStateInformation (chunk.toRawUTF8(), (int) chunk.getNumBytesAsUTF8());
        });
    host.join();

    // Nothing of the editor ran or was asked to run on that thread.
    EXPECT_FALSE (open.shell().isUpdatePending());
    pumpPendingMessages (1000);
    EXPECT_EQ (open.panel().refreshCount, before);

    open.panel().timerCallback();
    open.panel().timerCallback();
    EXPECT_EQ (open.panel().refreshCount, before + 1);
}
