#include "EditorTestSupport.h"
#include "editor/lnf/EmbeddedArt.h"
#include "editor/lnf/ForcePopupsInParentWindow.h"
#include "editor/widgets/BlinkingLed.h"
#include "editor/widgets/ComboBox_IgnoreKeys.h"
#include "editor/widgets/Tiny_VU.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{
    bool shows (const BlinkingLed& led, const char* fileName)
    {
        return led.getImage() == brisalto::EmbeddedArt::image (fileName);
    }

    BlinkingLed* ledOf (Tiny_VU& meter, int i)
    {
        return dynamic_cast<BlinkingLed*> (meter.getChildComponent (i));
    }

    // The meter's LED states as text, LED 0 first: 'o' on, 'd' dim, '.' off, '?' anything else.
    std::string statesOf (Tiny_VU& meter)
    {
        std::string states;
        for (int i = 0; i < 4; ++i)
        {
            const auto s = ledOf (meter, i)->getLedState();
            states += s == BlinkingLed::ledOn ? 'o' : s == BlinkingLed::ledDim ? 'd' : s == BlinkingLed::ledOff ? '.' : '?';
        }
        return states;
    }
}

TEST (BlinkingLed, NewLampShowsBlueLitWithoutTimer)
{
    BlinkingLed led;
    EXPECT_EQ (led.getName(), "BlinkingLed");
    EXPECT_EQ (led.getLedState(), BlinkingLed::ledOn);
    EXPECT_EQ (led.getLedColor(), BlinkingLed::ledBlue);
    EXPECT_TRUE (shows (led, "led_blue_on.png"));
    EXPECT_FALSE (led.isTimerRunning());
}

TEST (BlinkingLed, EachColourAndStateShowsItsImage)
{
    // Per colour: lit, half-lit ("" for none), unlit.
    const char* images[8][3] = {
        { "led_green_on.png", "", "led_green_off.png" },
        { "led_red_on.png", "", "led_red_off.png" },
        { "led_amber_on.png", "led_amber_dim.png", "led_amber_off.png" },
        { "led_blue_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_cyan_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_violet_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_magenta_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_lightblue_on.png", "led_shared_dim.png", "led_shared_off.png" },
    };

    for (int colour = 0; colour < 8; ++colour)
    {
        SCOPED_TRACE (colour);
        const auto& art = images[colour];
        BlinkingLed led;
        led.setLedColor ((BlinkingLed::LedColors) colour);
        EXPECT_TRUE (shows (led, art[0]));

        const std::pair<juce::int32, const char*> states[] = {
            { BlinkingLed::ledOff, art[2] },
            { BlinkingLed::ledDim, art[1] },
            { BlinkingLed::ledGrey, "led_grey.png" },
            { 7, art[0] },
            { -1, art[0] },
            { BlinkingLed::ledOff, art[2] },
            { BlinkingLed::ledOn, art[0] },
        };
        for (auto [state, image] : states)
        {
            led.setLedState ((BlinkingLed::LedStates) state);
            EXPECT_TRUE (shows (led, image)) << "state " << state;
        }

        // Colours outside the eight are ignored.
        for (auto invalid : { -1, 8, 1000 })
        {
            led.setLedColor ((BlinkingLed::LedColors) invalid);
            EXPECT_EQ (led.getLedColor(), colour);
            EXPECT_TRUE (shows (led, art[0]));
        }
    }
}

TEST (BlinkingLed, BlinksOnItsTicksFromTheStoredPhase)
{
    BlinkingLed led;
    led.setLedColor (BlinkingLed::ledGreen);
    led.setLedState (BlinkingLed::ledOff);

    led.setLedState (BlinkingLed::ledBlinking);
    EXPECT_TRUE (led.isTimerRunning());
    EXPECT_EQ (led.getTimerInterval(), 500);
    EXPECT_TRUE (shows (led, "led_green_off.png"));  // unchanged until the first tick

    led.timerCallback();
    EXPECT_TRUE (shows (led, "led_green_on.png"));

    led.setLedColor (BlinkingLed::ledRed);  // no change until the next tick
    EXPECT_TRUE (shows (led, "led_green_on.png"));
    led.timerCallback();
    EXPECT_TRUE (shows (led, "led_red_off.png"));
    led.timerCallback();
    EXPECT_TRUE (shows (led, "led_red_on.png"));

    led.setLedState (BlinkingLed::ledOff);  // at once; the timer stops at its next tick
    EXPECT_TRUE (shows (led, "led_red_off.png"));
    EXPECT_TRUE (led.isTimerRunning());
    led.timerCallback();
    EXPECT_FALSE (led.isTimerRunning());
    EXPECT_TRUE (shows (led, "led_red_off.png"));

    // The phase carries over: the last tick showed the lit image, so the next shows the unlit.
    led.setLedState (BlinkingLed::ledOn);
    led.setLedState (BlinkingLed::ledBlinking);
    led.timerCallback();
    EXPECT_TRUE (shows (led, "led_red_off.png"));
    led.stopTimer();
}

TEST (Tiny_VU, NewMeterHasFourUnlitLedsInARow)
{
    Tiny_VU meter;
    EXPECT_EQ (meter.getBounds(), juce::Rectangle<int> (56, 16));
    EXPECT_EQ (meter.level, -144.0f);
    ASSERT_EQ (meter.getNumChildComponents(), 4);

    const BlinkingLed::LedColors colours[] = { BlinkingLed::ledCyan, BlinkingLed::ledCyan, BlinkingLed::ledAmber,
                                               BlinkingLed::ledRed };
    for (int i = 0; i < 4; ++i)
    {
        auto* led = ledOf (meter, i);
        ASSERT_NE (led, nullptr);
        EXPECT_EQ (led->getName(), "new component");
        EXPECT_EQ (led->getBounds(), juce::Rectangle<int> (14 * i, 1, 14, 14));
        EXPECT_EQ (led->getLedColor(), colours[i]);
        EXPECT_TRUE (led->isVisible());
    }
    EXPECT_EQ (statesOf (meter), "....");

    EXPECT_FALSE (meter.keyPressed (juce::KeyPress ('a')));

    RecordingContext context (meter.getLocalBounds());
    juce::Graphics g (context);
    meter.paint (g);
    ASSERT_EQ (context.fills.size(), 2u);
    EXPECT_EQ (context.fills[0].fill.colour.getARGB(), 0xff2c2c30u);
    EXPECT_EQ (context.fills[1].fill.colour.getARGB(), 0x991c1c1cu);

    meter.setSize (56, 16);
    const auto background = meter.createComponentSnapshot (meter.getLocalBounds()).getPixelAt (20, 0);
    EXPECT_NEAR (background.getRed(), 0x22, 1);
    EXPECT_NEAR (background.getBlue(), 0x24, 1);
}

// At 56x16 the LEDs keep their designed places; at any other size they scale with the meter, all
// four whole inside it, side by side.
TEST (Tiny_VU, LedsScaleWithTheMeter)
{
    Tiny_VU meter;
    for (const auto& size :
         { juce::Point<int> (45, 13), juce::Point<int> (112, 32), juce::Point<int> (200, 50), juce::Point<int> (56, 16) })
    {
        SCOPED_TRACE (size.toString());
        meter.setSize (size.x, size.y);
        const float sx = (float) size.x / 56.0f, sy = (float) size.y / 16.0f;
        for (int i = 0; i < 4; ++i)
        {
            const auto led = ledOf (meter, i)->getBounds();
            EXPECT_TRUE (meter.getLocalBounds().contains (led)) << i;
            EXPECT_EQ (led.getX(), i == 0 ? 0 : ledOf (meter, i - 1)->getRight()) << i;
            EXPECT_NEAR (led.getX(), 14.0f * (float) i * sx, 0.5f) << i;
            EXPECT_NEAR (led.getWidth(), 14.0f * sx, 1.0f) << i;
            EXPECT_NEAR (led.getY(), sy, 0.5f) << i;
            EXPECT_NEAR (led.getHeight(), 14.0f * sy, 1.0f) << i;
        }
        EXPECT_EQ (ledOf (meter, 3)->getRight(), size.x);
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ (ledOf (meter, i)->getBounds(), juce::Rectangle<int> (14 * i, 1, 14, 14)) << i;
}

TEST (Tiny_VU, LevelsLightTheLedsFromTheLeft)
{
    const std::pair<float, const char*> cases[] = {
        { -144.0f, "...." },        { -66.01f, "...." },   { -66.0f, "d..." }, { -60.01f, "d..." }, { -60.0f, "o..." },
        { -30.01f, "o..." },        { -30.0f, "od.." },    { -24.0f, "oo.." }, { -18.01f, "oo.." }, { -18.0f, "ood." },
        { -12.0f, "ooo." },         { -3.01f, "ooo." },    { -3.0f, "oooo" },  { 0.0f, "oooo" },    { 12.0f, "oooo" },
        { std::nanf (""), "oooo" }, { -INFINITY, "...." }, { -12.0f, "ooo." }, { -144.0f, "...." },
    };

    Tiny_VU meter;
    for (auto [level, states] : cases)
    {
        meter.level = level;
        meter.update_UI();
        EXPECT_EQ (statesOf (meter), states) << level;
    }

    // A repeated level changes nothing: the LEDs keep the images they show.
    const auto shown = ledOf (meter, 0)->getImage();
    meter.update_UI();
    EXPECT_TRUE (ledOf (meter, 0)->getImage() == shown);
}

TEST (ComboBox_IgnoreKeys, RefusesEveryKeyWhereAPlainComboBoxStepsOrOpens)
{
    ComboBox_IgnoreKeys ignoring ("mixmode combo");
    juce::ComboBox plain;
    EXPECT_EQ (ignoring.getName(), "mixmode combo");

    for (auto* combo : { static_cast<juce::ComboBox*> (&ignoring), &plain })
    {
        combo->addItemList ({ "multi-mono", "sum", "side" }, 1);
        combo->setSelectedId (2, juce::dontSendNotification);
    }

    for (int key : { juce::KeyPress::upKey, juce::KeyPress::downKey, juce::KeyPress::leftKey, juce::KeyPress::rightKey,
                     juce::KeyPress::returnKey, juce::KeyPress::tabKey, juce::KeyPress::spaceKey, (int) 'a' })
    {
        EXPECT_FALSE (ignoring.keyPressed (juce::KeyPress (key)));
        EXPECT_EQ (ignoring.getSelectedId(), 2);
    }
    pumpPendingMessages (1000);
    EXPECT_FALSE (ignoring.isPopupActive());

    EXPECT_TRUE (plain.keyPressed (juce::KeyPress (juce::KeyPress::downKey)));
    EXPECT_EQ (plain.getSelectedId(), 3);
}

TEST (ForcePopupsInParentWindow, MenuParentIsTheOneTheOptionsName)
{
    ForcePopupsInParentWindow lnf;
    const juce::PopupMenu::Options none;
    EXPECT_EQ (lnf.getParentComponentForMenuOptions (none), nullptr);

    auto parent = std::make_unique<juce::Component>();
    const auto named = none.withParentComponent (parent.get());
    EXPECT_EQ (lnf.getParentComponentForMenuOptions (named), parent.get());

    parent.reset();
    EXPECT_EQ (lnf.getParentComponentForMenuOptions (named), nullptr);
}
