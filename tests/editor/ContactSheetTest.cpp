// Draws the art through the look-and-feel on one sheet and writes it where
// BRISALTO_CONTACT_SHEET says (CTest: the build folder's art-contact-sheet.png), for a person
// to look at.

#include "EditorTestSupport.h"
#include "editor/lnf/EmbeddedArt.h"
#include "editor/lnf/ForcePopupsInParentWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
    void caption (juce::Graphics& g, const LumoLNF& lnf, const juce::String& text, int x, int y)
    {
        g.setColour (juce::Colour (0xbfffffff));
        g.setFont (lnf.mainFont.withHeight (14.0f));
        g.drawText (text, x, y, 400, 20, juce::Justification::centredLeft);
    }

    void knob (juce::Graphics& g, LumoLNF& lnf, juce::Slider& slider, juce::Rectangle<int> area, float position)
    {
        juce::Graphics::ScopedSaveState state (g);
        g.setOrigin (area.getPosition());
        lnf.drawRotarySlider (g, 0, 0, area.getWidth(), area.getHeight(), position, 0.0f, 0.0f, slider);
    }
}

TEST (ArtContactSheet, WritesEveryPieceOfArtAsDrawn)
{
    const auto* path = std::getenv ("BRISALTO_CONTACT_SHEET");
    if (path == nullptr)
        GTEST_SKIP() << "BRISALTO_CONTACT_SHEET is not set";

    ForcePopupsInParentWindow lnf;
    juce::Image sheet (juce::Image::ARGB, 900, 720, true);
    juce::Graphics g (sheet);
    g.fillAll (juce::Colour (0xff2c2c30));

    g.setColour (juce::Colour (0xff2d7180));
    g.fillRect (0, 0, 900, 80);
    g.drawImage (brisalto::EmbeddedArt::image ("wordmark.png"), 20, 6, 254, 49, 0, 0, 500, 80);

    const float positions[] = { 0.0f, 1.0f / 6, 2.0f / 6, 0.5f, 4.0f / 6, 5.0f / 6, 1.0f };
    const char* names[] = { "attack slider", "right_is_zero_slider", "mid_is_zero_slider" };
    int y = 90;

    for (auto* name : names)
    {
        juce::Slider slider (name);
        caption (g, lnf, juce::String ("100x112, ") + name + ", positions 0 to 1", 20, y);
        for (int i = 0; i < 7; ++i)
            knob (g, lnf, slider, { 20 + 120 * i, y + 22, 100, 112 }, positions[i]);
        y += 142;
    }

    juce::Slider small ("attack slider");
    caption (g, lnf, "72x70 (small frames) and 60x40; the last one disabled", 20, y);
    for (int i = 0; i < 7; ++i)
        knob (g, lnf, small, { 20 + 90 * i, y + 22, 72, 70 }, positions[i]);
    knob (g, lnf, small, { 660, y + 22, 60, 40 }, 0.6f);
    small.setEnabled (false);
    knob (g, lnf, small, { 740, y + 22, 72, 70 }, 0.6f);
    y += 105;

    caption (g, lnf, "toggles off and on at 54 and 27 px; the fifteen LED images at 28 px", 20, y);
    juce::ToggleButton toggle;
    for (int i = 0; i < 4; ++i)
    {
        juce::Graphics::ScopedSaveState state (g);
        toggle.setSize (i < 2 ? 54 : 27, i < 2 ? 54 : 27);
        toggle.setToggleState (i % 2 == 1, juce::dontSendNotification);
        g.setOrigin ({ 20 + 64 * i, y + 24 });
        lnf.drawToggleButton (g, toggle, false, false);
    }

    int x = 290;
    for (auto* led : ledImageNames)
    {
        g.drawImage (brisalto::EmbeddedArt::image ((juce::String (led) + ".png").toRawUTF8()), x, y + 36, 28, 28, 0, 0, 48, 48);
        x += 36;
    }

    const juce::File file (juce::String::fromUTF8 (path));
    file.deleteFile();
    juce::FileOutputStream out (file);
    ASSERT_TRUE (out.openedOk()) << path;
    EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (sheet, out));
}
