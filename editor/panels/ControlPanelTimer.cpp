// The main panel's 20 ms timer: the gain-reduction ladder with its peak hold, the MAX GR and
// output peak values, and the side-chain, BRICK LIMIT and CLIP LEDs, from the meters that the
// render loop leaves in the processor; besides, the refreshes other threads asked for, the
// controls that follow switches, the name field's focus, the last desktop launch and the
// status line's timeout.

#include "editor/panels/ControlPanel.h"

#include "processor/PluginProcessor.h"

#include <climits>
#include <cmath>

namespace
{
    constexpr int staleTicksBeforeClearing = 10;  // the ladder clears on the 11th tick without a block
    constexpr int peakHoldTickCount = 39;
    constexpr int brickLimitTickCount = 5;

    BlinkingLed& ladderLed (ControlPanel& p, int i)
    {
        return **p.grLadder[(size_t) i];
    }

    // A gain reduction that no new block refreshes (rendering stopped) is cleared.
    void followStaleness (ControlPanel& p)
    {
        const int count = p.processor.mRenderCounter;
        if (count != p.lastRenderCount)
        {
            p.lastRenderCount = count;
            p.staleTicks = 0;
            return;
        }

        const int n = p.staleTicks;
        if (n < INT_MAX)
            p.staleTicks = n + 1;
        if (n >= staleTicksBeforeClearing)
            p.processor.mGainReduction = 0.0f;
    }

    void showMaxGainReduction (ControlPanel& p)
    {
        const float v = p.processor.mMaxGainReduction;
        if (std::abs ((double) p.shownMaxGainReduction - (double) v) > 0.1)
        {
            p.shownMaxGainReduction = v;
            p.maxGrValueLabel->setText (juce::String (v, 1), juce::dontSendNotification);
        }
    }

    // Lights LED i for a reduction of at least i + 1 dB and dims it from i + 0.5 dB. The held LED
    // keeps its state when the reduction falls, and turns back to cyan once a higher one lights.
    // Returns the highest LED lit or dimmed, or -1.
    int showLadder (ControlPanel& p)
    {
        const float g = p.processor.mGainReduction;
        int highest = -1;
        for (int i = 0; i < ControlPanel::numLadderLeds; ++i)
        {
            auto& led = ladderLed (p, i);
            if (g >= (float) (i + 1))
                led.setLedState (BlinkingLed::ledOn);
            else if ((double) g >= i + 0.5)
                led.setLedState (BlinkingLed::ledDim);
            else
            {
                if (i != p.peakHoldLed)
                    led.setLedState (BlinkingLed::ledOff);
                continue;
            }

            highest = i;
            if (p.peakHoldLed >= 0 && i == p.peakHoldLed + 1)
                ladderLed (p, p.peakHoldLed).setLedColor (BlinkingLed::ledCyan);
        }
        return highest;
    }

    void holdPeak (ControlPanel& p, int highest)
    {
        if (highest > p.peakHoldLed)
        {
            p.peakHoldLed = highest;
            ladderLed (p, highest).setLedColor (BlinkingLed::ledAmber);
            p.peakHoldTicks = peakHoldTickCount;
            return;
        }

        if (p.peakHoldTicks <= 0 || --p.peakHoldTicks > 0 || p.peakHoldLed < 0)
            return;

        auto& held = ladderLed (p, p.peakHoldLed);
        held.setLedState (BlinkingLed::ledOff);
        held.setLedColor (BlinkingLed::ledCyan);
        p.peakHoldLed = -1;
    }

    // The state of the exchange with other instances, in the two side-chain modes only. The
    // colour is decided before it is set, so that an unchanged status repaints nothing.
    void showGroupLed (ControlPanel& p)
    {
        auto& led = *p.groupLed;
        const int mode = p.processor.mixMode;
        const auto status = (LinkStatus) (int) p.processor.mLinkStatus;

        if (mode == (int) MixMode::sideChainSend)
        {
            const bool queueFull = status == LinkStatus::queueFull;
            led.setLedColor (queueFull ? BlinkingLed::ledAmber : BlinkingLed::ledCyan);
            led.setLedState (queueFull || status == LinkStatus::sent ? BlinkingLed::ledOn : BlinkingLed::ledOff);
            led.setVisible (true);
            return;
        }

        if (mode == (int) MixMode::sideChainReceive)
        {
            struct Look
            {
                bool setsState;
                BlinkingLed::LedStates state;
                BlinkingLed::LedColors colour;
            };
            const auto look = [status]() -> Look
            {
                switch (status)
                {
                    case LinkStatus::noData: return { true, BlinkingLed::ledOff, BlinkingLed::ledCyan };
                    case LinkStatus::exactTimestamp: return { true, BlinkingLed::ledOn, BlinkingLed::ledCyan };
                    case LinkStatus::nearTimestamp: return { true, BlinkingLed::ledOn, BlinkingLed::ledAmber };
                    case LinkStatus::olderTimestamp:
                    case LinkStatus::closestTimestamp: return { true, BlinkingLed::ledBlinking, BlinkingLed::ledAmber };
                    case LinkStatus::bufferTooShort: return { true, BlinkingLed::ledOn, BlinkingLed::ledRed };
                    case LinkStatus::sent:
                    case LinkStatus::queueFull: break;
                }
                return { false, BlinkingLed::ledOff, BlinkingLed::ledCyan };  // unchanged state
            }();

            led.setLedColor (look.colour);
            if (look.setsState)
                led.setLedState (look.state);
            led.setVisible (true);
            return;
        }

        led.setLedState (BlinkingLed::ledOff);
        led.setVisible (false);
    }

    // One limiter hit keeps the LED lit for 5 ticks. Taking the count with one exchange keeps
    // hits that the render thread counts meanwhile for the next tick.
    void showBrickLimit (ControlPanel& p)
    {
        if (p.processor.mLimiterHits.exchange (0) != 0)
            p.brickLimitTicks = brickLimitTickCount;

        if (p.brickLimitTicks > 0)
        {
            --p.brickLimitTicks;
            p.brickLimitLed->setLedState (BlinkingLed::ledOn);
        }
        else
        {
            p.brickLimitLed->setLedState (BlinkingLed::ledOff);
        }
    }

    void showOutputPeak (ControlPanel& p)
    {
        const float v = p.processor.mOutputPeakDb;
        if (std::abs ((double) p.shownOutputPeak - (double) v) > 0.01)
        {
            p.shownOutputPeak = v;
            p.peakValueLabel->setText (v < -100.0f ? juce::String ("---") : juce::String (v, 2), juce::dontSendNotification);
        }
    }
}

void ControlPanel::timerCallback()
{
    // Threads other than the message thread never reach the editor: their refresh requests
    // wait in the processor until this tick takes them.
    if (processor.takeEditorRefreshRequest())
        update_UI();

    followStaleness (*this);
    followDependencies();
    if (nameFieldFocusTicks > 0)
        focusNameField();
    if (launchOutcome != nullptr)
        followLaunch();
    if (statusTicksLeft > 0 && --statusTicksLeft == 0)
        statusLine->setText ({}, juce::dontSendNotification);
    showMeters();
}

void ControlPanel::showMeters()
{
    showMaxGainReduction (*this);
    holdPeak (*this, showLadder (*this));
    showGroupLed (*this);
    showBrickLimit (*this);
    clipLed->setLedState (processor.mClipCount != 0 ? BlinkingLed::ledOn : BlinkingLed::ledOff);
    showOutputPeak (*this);
}
