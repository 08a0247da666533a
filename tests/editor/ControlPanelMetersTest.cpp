#include "EditorTestSupport.h"
#include "OpenEditor.h"
#include "common/FakeXdgOpen.h"
#include "common/WaitUntil.h"

#include "platform/BundleResources.h"

#include <gtest/gtest.h>

namespace
{
    using Led = BlinkingLed;

    // The ladder as one character per LED, lowest first: '.' off, 'o' on, 'd' dim, 'b' blinking;
    // upper case for amber.
    std::string ladder (ControlPanel& p)
    {
        std::string s;
        for (auto* led : p.grLadder)
        {
            const auto state = (*led)->getLedState();
            char c = state == Led::ledOn ? 'o' : state == Led::ledDim ? 'd' : state == Led::ledBlinking ? 'b' : '.';
            s += (*led)->getLedColor() == Led::ledAmber ? (char) std::toupper (c) : c;
        }
        return s;
    }

    // One tick with a new block rendered and the given gain reduction.
    void tick (OpenEditor& open, float gainReduction)
    {
        open.processor.mRenderCounter++;
        open.processor.mGainReduction = gainReduction;
        open.panel().timerCallback();
    }
}

TEST (ControlPanelTimer, LadderAndPeakHold)
{
    // Gain reduction in dB and the ladder after one tick on a fresh panel.
    const std::pair<float, const char*> rows[] = {
        { 0.0f, "...................." }, { 0.49f, "...................." }, { 0.5f, "D..................." },
        { 3.4f, "ooO................." }, { 3.6f, "oooD................" },  { 25.0f, "oooooooooooooooooooO" },
    };
    for (const auto& [gr, expected] : rows)
    {
        OpenEditor open;
        tick (open, gr);
        EXPECT_EQ (ladder (open.panel()), expected) << gr;
    }

    // The held LED stays lit and amber when the reduction falls, for 39 ticks in all.
    OpenEditor open;
    auto& p = open.panel();
    tick (open, 6.0f);
    for (int i = 1; i < 39; ++i)
        tick (open, 2.0f);
    EXPECT_EQ (ladder (p), "oo...O..............");
    tick (open, 2.0f);
    EXPECT_EQ (ladder (p), "oo..................");
    EXPECT_EQ (p.peakHoldLed, -1);
    tick (open, 2.0f);
    EXPECT_EQ (ladder (p), "oO..................");

    // A higher LED takes the hold; the one held before turns cyan.
    tick (open, 4.6f);
    EXPECT_EQ (ladder (p), "ooooD...............");
}

// What the meters hold before the editor opens is what its first frame shows, before any tick.
TEST (ControlPanelTimer, FirstFrameShowsTheMetersRealState)
{
    const struct
    {
        float reduction;
        int clips;
        int mode;
        const char* ladder;
        bool clip, groupLed;
    } states[] = {
        { 0.0f, 0, 2, "....................", false, false },
        { 3.0f, 2, 4, "ooO.................", true, true },
    };
    for (const auto& state : states)
    {
        SCOPED_TRACE (state.ladder);
        OpenEditor open;
        open.close();
        open.processor.mGainReduction = state.reduction;
        open.processor.mClipCount = state.clips;
        open.processor.mixMode = state.mode;
        open.editor.reset (open.processor.createEditorIfNeeded());
        auto& p = open.panel();

        EXPECT_EQ (ladder (p), state.ladder);
        EXPECT_EQ (p.clipLed->getLedState(), state.clip ? Led::ledOn : Led::ledOff);
        EXPECT_EQ (p.brickLimitLed->getLedState(), Led::ledOff);
        EXPECT_EQ (p.groupLed->isVisible(), state.groupLed);
        EXPECT_EQ (p.groupLed->getLedState(), Led::ledOff);
    }
}

TEST (ControlPanelTimer, StaleReductionClearsOnTheEleventhTickWithoutABlock)
{
    OpenEditor open;
    auto& p = open.panel();
    tick (open, 6.0f);
    for (int i = 0; i < 10; ++i)
        p.timerCallback();
    EXPECT_EQ (open.processor.mGainReduction, 6.0f);
    p.timerCallback();
    EXPECT_EQ (open.processor.mGainReduction, 0.0f);
    EXPECT_EQ (ladder (p), ".....O..............");  // the held LED runs out on its own
}

TEST (ControlPanelTimer, ValueLabelsBrickLimitAndClip)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;

    // MAX GR moves beyond 0.1 dB, the peak beyond 0.01 dB; the first tick always shows the peak.
    const std::tuple<float, const char*, float, const char*> labels[] = {
        { 0.05f, "0", -144.0f, "---" },       { 0.2f, "0.2", -100.0f, "-100.00" }, { 0.25f, "0.2", -3.5f, "-3.50" },
        { 12.34f, "12.3", -3.505f, "-3.50" }, { 12.34f, "12.3", -100.01f, "---" },
    };
    for (const auto& [maxGr, maxGrText, peak, peakText] : labels)
    {
        proc.mMaxGainReduction = maxGr;
        proc.mOutputPeakDb = peak;
        p.timerCallback();
        EXPECT_EQ (p.maxGrValueLabel->getText(), maxGrText) << maxGr;
        EXPECT_EQ (p.peakValueLabel->getText(), peakText) << peak;
    }

    // One hit lights BRICK LIMIT for 5 ticks; the hits are taken, not lost.
    proc.mLimiterHits = 3;
    for (int i = 0; i < 5; ++i)
    {
        p.timerCallback();
        EXPECT_EQ (p.brickLimitLed->getLedState(), Led::ledOn) << i;
        EXPECT_EQ (proc.mLimiterHits, 0);
    }
    p.timerCallback();
    EXPECT_EQ (p.brickLimitLed->getLedState(), Led::ledOff);

    // CLIP stays lit until its reset button.
    proc.mClipCount = 2;
    p.timerCallback();
    p.timerCallback();
    EXPECT_EQ (p.clipLed->getLedState(), Led::ledOn);
    p.buttonClicked (p.clipResetButton.get());
    EXPECT_EQ (proc.mClipCount, 0);
    EXPECT_EQ (proc.mOutputPeakDb, -144.0f);
    p.timerCallback();
    EXPECT_EQ (p.clipLed->getLedState(), Led::ledOff);
    EXPECT_EQ (p.peakValueLabel->getText(), "---");
}

TEST (ControlPanelTimer, GroupLedShowsTheSideChainExchange)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& led = *p.groupLed;

    // Mode, link status, and the LED's state and colour after a tick from off and cyan
    // ('u': the state stays as it was).
    struct Row
    {
        int mode, status;
        char state;
        Led::LedColors colour;
    };
    const Row rows[] = {
        { 4, 0, '.', Led::ledCyan },  { 4, 5, 'o', Led::ledCyan },  { 4, 7, 'o', Led::ledAmber }, { 4, 1, '.', Led::ledCyan },
        { 5, 0, '.', Led::ledCyan },  { 5, 1, 'o', Led::ledCyan },  { 5, 2, 'o', Led::ledAmber }, { 5, 3, 'b', Led::ledAmber },
        { 5, 4, 'b', Led::ledAmber }, { 5, 5, 'u', Led::ledCyan },  { 5, 7, 'u', Led::ledCyan },  { 5, 8, 'o', Led::ledRed },
        { 5, 6, 'u', Led::ledCyan },  { 5, 99, 'u', Led::ledCyan },
    };
    for (const auto& r : rows)
    {
        SCOPED_TRACE (juce::String (r.mode) + " status " + juce::String (r.status));
        led.setLedState (Led::ledOff);
        led.setLedColor (Led::ledCyan);
        open.processor.mixMode = r.mode;
        open.processor.mLinkStatus = r.status;
        p.timerCallback();
        const auto expected = r.state == 'o' ? Led::ledOn : r.state == 'b' ? Led::ledBlinking : Led::ledOff;
        EXPECT_EQ (led.getLedState(), expected);
        EXPECT_EQ (led.getLedColor(), r.colour);
        EXPECT_TRUE (led.isVisible());
    }

    for (const int mode : { 1, 2, 3, 6 })
    {
        led.setLedState (Led::ledOn);
        open.processor.mixMode = mode;
        p.timerCallback();
        EXPECT_EQ (led.getLedState(), Led::ledOff) << mode;
        EXPECT_FALSE (led.isVisible()) << mode;
    }
}

TEST (ControlPanelButtons, AdvancedAndWeightPanelsTakeTurns)
{
    OpenEditor open;
    auto& p = open.panel();
    const auto press = [&p] (juce::Button& b)
    {
        b.setToggleState (! b.getToggleState(), juce::dontSendNotification);
        p.buttonClicked (&b);
    };
    const auto shown = [&p]
    {
        return juce::String (p.backdropLabel->isVisible() ? "B" : "-") + (p.advancedPanel->isVisible() ? "A" : "-")
            + (p.weightPanel->isVisible() ? "W" : "-") + (p.advancedButton->getToggleState() ? "a" : "-")
            + (p.weightButton->getToggleState() ? "w" : "-");
    };

    press (*p.advancedButton);
    EXPECT_EQ (shown(), "BA-a-");
    press (*p.weightButton);
    EXPECT_EQ (shown(), "B-W-w");
    press (*p.advancedButton);
    EXPECT_EQ (shown(), "BA-a-");
    press (*p.advancedButton);
    EXPECT_EQ (shown(), "-----");
    press (*p.weightButton);
    press (*p.weightButton);
    EXPECT_EQ (shown(), "-----");
}

TEST (ControlPanelButtons, HelpAndLogoOpenThroughTheDesktopWithoutAShell)
{
    FakeXdgOpen xdgOpen;
    OpenEditor open;
    auto& p = open.panel();

    // Without the help document the button opens nothing and says so. (This program's resources
    // folder lies beside it in the build folder and belongs to this test.)
    const auto help = brisalto::platform::bundle::helpDocument (brisalto::platform::bundle::Format::standalone);
    help.getParentDirectory().deleteRecursively();
    p.buttonClicked (p.helpButton.get());
    EXPECT_EQ (p.statusLine->getText(), "The help document is missing");
    p.buttonClicked (p.logoButton.get());
    EXPECT_EQ (xdgOpen.waitForArguments(), "1\nhttps://kestrom.example\n");

    FakeXdgOpen again;
    ASSERT_TRUE (help.getParentDirectory().createDirectory());
    ASSERT_TRUE (help.replaceWithText ("%PDF-1.4\n"));
    p.buttonClicked (p.helpButton.get());
    EXPECT_EQ (again.waitForArguments(), "1\n" + help.getFullPathName() + "\n");

    // xdg-open ends with success: nothing to say. It finds no program: the status line says so.
    const auto tickUntilTheLaunchIsSettled = [&p]
    {
        waitUntil (
            [&p]
            {
                if (p.launchOutcome != nullptr)
                    p.timerCallback();
                return p.launchOutcome == nullptr;
            },
            30000);
        EXPECT_EQ (p.launchOutcome, nullptr);
    };
    p.showStatus ({});
    tickUntilTheLaunchIsSettled();
    EXPECT_EQ (p.statusLine->getText(), "");
    for (auto* button : { (juce::Button*) p.helpButton.get(), (juce::Button*) p.logoButton.get() })
    {
        FakeXdgOpen noProgram (true, 3);
        p.buttonClicked (button);
        tickUntilTheLaunchIsSettled();
        EXPECT_EQ (p.statusLine->getText(),
                   button == p.helpButton.get() ? "No program could open the help (no PDF viewer?)"
                                                : "No program could open the web page (no browser?)");
    }

    // Nothing to open them with: the status line says why, and clears itself.
    {
        FakeXdgOpen missing (false);
        p.buttonClicked (p.helpButton.get());
        EXPECT_EQ (p.statusLine->getText(), "No program to open the help (xdg-open is missing)");
        p.buttonClicked (p.logoButton.get());
        EXPECT_EQ (p.statusLine->getText(), "No program to open the web page (xdg-open is missing)");
    }
    for (int tick = 1; tick < ControlPanel::statusTicks; ++tick)
        p.timerCallback();
    EXPECT_TRUE (p.statusLine->getText().isNotEmpty());
    p.timerCallback();
    EXPECT_TRUE (p.statusLine->getText().isEmpty());
    help.getParentDirectory().deleteRecursively();
}
