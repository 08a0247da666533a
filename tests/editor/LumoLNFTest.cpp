#include "EditorTestSupport.h"
#include "editor/lnf/EmbeddedArt.h"
#include "editor/lnf/ForcePopupsInParentWindow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace
{
    std::unique_ptr<RecordingContext> drawKnob (LumoLNF& lnf, int width, int height, float position,
                                                const juce::String& name = "ratio slider", bool enabled = true)
    {
        juce::Slider slider (name);
        slider.setEnabled (enabled);
        auto context = std::make_unique<RecordingContext> (juce::Rectangle<int> (-500, -500, 2000, 2000));
        juce::Graphics g (*context);
        lnf.drawRotarySlider (g, 3, 4, width, height, position, 1.0f, 2.0f, slider);
        return context;
    }

    // One character per ring segment: '.' unlit, 'o' lit, 'b' lit below the centre.
    std::string ringOf (const RecordingContext& context, const LumoLNF& lnf)
    {
        std::string ring;
        for (size_t i = context.images.size() - 27; i < context.images.size(); ++i)
        {
            const auto& image = context.images[i].image;
            ring += image == lnf.segmentOnImage        ? 'o'
                : image == lnf.segmentBelowCentreImage ? 'b'
                : image == lnf.segmentOffImage         ? '.'
                                                       : '?';
        }
        return ring;
    }

    std::string ringLit (int first, int last, char lit)
    {
        std::string ring (27, '.');
        for (int i = first; i <= last; ++i)
            ring[(size_t) i] = lit;
        return ring;
    }

    ForcePopupsInParentWindow& sharedLnf()
    {
        static ForcePopupsInParentWindow lnf;
        return lnf;
    }
}

TEST (LumoLNF, ConstructionSetsFontsColoursAndSharesArtAndTypeface)
{
    const auto typeface = LumoLNF::getRobotoMediumTypeface();
    juce::Image firstFrame;

    {
        ForcePopupsInParentWindow a, b;
        EXPECT_EQ (a.mainFont.getHeight(), 17.0f);
        EXPECT_EQ (a.textBoxFont.getHeight(), 14.0f);
        EXPECT_EQ (a.mainFont.getTypefacePtr(), typeface);
        EXPECT_EQ (a.textBoxFont.getTypefacePtr(), typeface);
        EXPECT_EQ (b.mainFont.getTypefacePtr(), typeface);

        ASSERT_EQ (a.knobFramesLarge.size(), 55u);
        ASSERT_EQ (a.knobFramesSmall.size(), 55u);
        for (size_t i = 0; i < 55; ++i)
        {
            EXPECT_EQ (a.knobFramesLarge[i].getBounds(), juce::Rectangle<int> (168, 168));
            EXPECT_EQ (a.knobFramesSmall[i].getBounds(), juce::Rectangle<int> (136, 136));
            EXPECT_TRUE (a.knobFramesLarge[i] == b.knobFramesLarge[i] && a.knobFramesSmall[i] == b.knobFramesSmall[i]);
        }
        EXPECT_TRUE (a.toggleOnImage == b.toggleOnImage && a.toggleOffImage == b.toggleOffImage);
        EXPECT_TRUE (a.segmentOnImage == b.segmentOnImage && a.segmentBelowCentreImage == b.segmentBelowCentreImage
                     && a.segmentOffImage == b.segmentOffImage);
        EXPECT_TRUE (a.segmentOffImage.isValid() && a.toggleOnImage != a.toggleOffImage);

        const std::pair<int, juce::uint32> colours[] = {
            { juce::Slider::textBoxTextColourId, 0xbfffffff }, { juce::Label::textColourId, 0xbfffffff },
            { juce::TextButton::textColourOffId, 0xa6ffffff }, { juce::TextButton::textColourOnId, 0xd9ffffff },
            { juce::ComboBox::textColourId, 0xbfffffff },      { juce::ComboBox::backgroundColourId, 0x00ffffff },
        };
        for (auto [id, argb] : colours)
            EXPECT_EQ (a.findColour (id).getARGB(), argb) << std::hex << id;

        juce::LookAndFeel_V4 plain;
        for (int id : { (int) juce::Slider::thumbColourId, (int) juce::PopupMenu::backgroundColourId,
                        (int) juce::ComboBox::outlineColourId })
            EXPECT_EQ (a.findColour (id), plain.findColour (id)) << std::hex << id;

        a.textBoxFont.setHeight (9.0f);
        EXPECT_EQ (a.mainFont.getHeight(), 17.0f);
        a.mainFont.setHeight (8.0f);
        EXPECT_EQ (a.textBoxFont.getHeight(), 9.0f);
        EXPECT_EQ (b.mainFont.getHeight(), 17.0f);
    }

    ForcePopupsInParentWindow later;
    EXPECT_EQ (later.mainFont.getTypefacePtr(), typeface);
}

TEST (LumoLNF, KnobRingIsLitByNameAndPosition)
{
    struct Case
    {
        const char* name;
        float position;
        std::string ring;
    };
    const Case cases[] = {
        { "attack slider", 0.0f, ringLit (0, -1, 'o') },
        { "attack slider", 0.5f, ringLit (0, 12, 'o') },
        { "attack slider", 0.75f, ringLit (0, 19, 'o') },
        { "attack slider", 0.98f, ringLit (0, 25, 'o') },
        { "attack slider", 0.99f, ringLit (0, 25, 'o') },
        { "attack slider", 1.0f, ringLit (0, 26, 'o') },
        { "right_is_zero_slider", 0.0f, ringLit (0, 26, 'o') },
        { "right_is_zero_slider", 0.5f, ringLit (13, 26, 'o') },
        { "right_is_zero_slider", 0.99f, ringLit (26, 26, 'o') },
        { "right_is_zero_slider", 1.0f, ringLit (0, -1, 'o') },
        { "mid_is_zero_slider", 0.5f, ringLit (13, 13, 'o') },
        { "mid_is_zero_slider", 0.51f, ringLit (13, 13, 'o') },
        { "mid_is_zero_slider", 0.75f, ringLit (13, 19, 'o') },
        { "mid_is_zero_slider", 0.98f, ringLit (13, 25, 'o') },
        { "mid_is_zero_slider", 0.99f, ringLit (13, 26, 'o') },
        { "mid_is_zero_slider", 1.0f, ringLit (13, 26, 'o') },
        { "mid_is_zero_slider", 0.49f, ringLit (13, 13, 'b') },
        { "mid_is_zero_slider", 0.25f, ringLit (7, 13, 'b') },
        { "mid_is_zero_slider", 0.02f, ringLit (1, 13, 'b') },
        { "mid_is_zero_slider", 0.01f, ringLit (0, 13, 'b') },
        { "mid_is_zero_slider", 0.0f, ringLit (0, 13, 'b') },
        { "Mid_is_zero_slider", 0.25f, ringLit (0, 5, 'o') },
        { "mid_is_zero_slider ", 0.25f, ringLit (0, 5, 'o') },
        // Positions outside 0..1 are held to it, NaN counts as 0.
        { "attack slider", std::nanf (""), ringLit (0, -1, 'o') },
        { "attack slider", 7.0f, ringLit (0, 26, 'o') },
        { "mid_is_zero_slider", -INFINITY, ringLit (0, 13, 'b') },
    };

    for (const auto& c : cases)
    {
        const auto context = drawKnob (sharedLnf(), 100, 112, c.position, c.name);
        ASSERT_EQ (context->images.size(), 28u);
        EXPECT_EQ (ringOf (*context, sharedLnf()), c.ring) << "'" << c.name << "' at " << c.position;
    }
}

TEST (LumoLNF, KnobFrameFollowsPosition)
{
    const std::pair<float, int> cases[] = { { 0.0f, 0 },           { 0.5f, 27 }, { 0.999f, 53 }, { 1.0f, 54 },
                                            { std::nanf (""), 0 }, { -3.0f, 0 }, { 1.5f, 54 },   { INFINITY, 54 } };

    for (auto [position, frame] : cases)
    {
        EXPECT_TRUE (drawKnob (sharedLnf(), 100, 112, position)->images.front().image
                     == sharedLnf().knobFramesLarge[(size_t) frame])
            << position;
        EXPECT_TRUE (drawKnob (sharedLnf(), 72, 70, position)->images.front().image == sharedLnf().knobFramesSmall[(size_t) frame])
            << position;
    }
}

TEST (LumoLNF, KnobGeometryFollowsTheAreaSize)
{
    struct Case
    {
        int w, h;
        bool large;
        juce::Rectangle<float> frame;
        float segmentW, segmentH;
        juce::Point<float> pivot;
    };
    const Case cases[] = {
        { 100, 112, true, { 7, 12, 86, 86 }, 11, 18, { 50, 55 } },
        { 72, 70, false, { 5, 8, 62, 62 }, 7, 12, { 36, 39 } },
        { 81, 100, false, { 5, 9, 71, 71 }, 8, 14, { 40.5f, 44.5f } },
        { 82, 100, false, { 7, 12, 68, 68 }, 11, 18, { 41, 46 } },
        { 90, 100, true, { 7, 12, 76, 76 }, 11, 18, { 45, 50 } },
        { 120, 100, true, { 16, 12, 88, 88 }, 11, 18, { 60, 56 } },
        { 60, 40, false, { 13, 7, 33, 33 }, 6, 10, { 30, 23.5f } },
        { 100, 300, true, { 7, 12, 86, 86 }, 11, 18, { 50, 55 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::to_string (c.w) + "x" + std::to_string (c.h));
        const auto context = drawKnob (sharedLnf(), c.w, c.h, 0.3f);
        ASSERT_EQ (context->images.size(), 28u);

        const auto& frame = context->images.front();
        EXPECT_EQ (frame.image.getWidth(), c.large ? 168 : 136);
        EXPECT_TRUE (nearlyEqual (frame.destination(), c.frame)) << frame.destination().toString();

        for (int i = 0; i < 27; ++i)
        {
            const auto& segment = context->images[(size_t) i + 1];
            const auto& t = segment.transform;
            const auto w = (float) segment.image.getWidth(), h = (float) segment.image.getHeight();
            const auto outer = juce::Point<float> (w * 0.5f, 0).transformedBy (t);
            const auto inner = juce::Point<float> (w * 0.5f, h).transformedBy (t);
            const auto across = juce::Point<float> (w, 0).transformedBy (t) - juce::Point<float> (0, 0).transformedBy (t);

            EXPECT_NEAR (across.getDistanceFromOrigin(), c.segmentW, 1e-3f) << i;
            EXPECT_NEAR (outer.getDistanceFrom (inner), c.segmentH, 1e-3f) << i;
            EXPECT_NEAR (outer.getDistanceFrom (c.pivot), c.pivot.y, 1e-3f) << i;
            EXPECT_NEAR (inner.getDistanceFrom (c.pivot), c.pivot.y - c.segmentH, 1e-3f) << i;
            const auto angle = std::atan2 (outer.x - c.pivot.x, c.pivot.y - outer.y);
            EXPECT_NEAR (angle, -0.8 * juce::MathConstants<double>::pi * (1.0 - i / 13.0), 1e-5) << i;
        }

        // The top segment stands upright, centred across the knob, its outer end on the top edge.
        const auto top = context->images[14].destination();
        EXPECT_NEAR (top.getX(), c.pivot.x - c.segmentW * 0.5f, 1e-3f);
        EXPECT_NEAR (top.getY(), 0.0f, 1e-3f);
        EXPECT_NEAR (top.getBottom(), c.segmentH, 1e-3f);
    }

    // An area too low for the top margin draws no knob body (rather than a negative square).
    EXPECT_EQ (drawKnob (sharedLnf(), 50, 5, 0.3f)->images.size(), 27u);
}

TEST (LumoLNF, DisabledKnobIsDrawnAtReducedOpacityWithTheSameRing)
{
    const auto enabled = drawKnob (sharedLnf(), 100, 112, 0.75f, "mid_is_zero_slider");
    const auto disabled = drawKnob (sharedLnf(), 100, 112, 0.75f, "mid_is_zero_slider", false);

    ASSERT_EQ (disabled->images.size(), 28u);
    EXPECT_EQ (ringOf (*disabled, sharedLnf()), ringOf (*enabled, sharedLnf()));
    EXPECT_TRUE (disabled->images.front().image == enabled->images.front().image);
    for (size_t i = 0; i < 28; ++i)
    {
        EXPECT_FLOAT_EQ (disabled->images[i].opacity, 0.6f);
        EXPECT_FLOAT_EQ (enabled->images[i].opacity, 1.0f);
    }
    EXPECT_EQ (enabled->qualityChanges + disabled->qualityChanges, 0);
}

TEST (LumoLNF, ToggleIsOneCentredImageAndNothingElse)
{
    struct Case
    {
        int w, h;
        bool on;
        juce::Rectangle<float> drawn;
    };
    const Case cases[] = {
        { 60, 24, true, { 18, 0, 24, 24 } },
        { 25, 40, false, { 0, 7, 25, 25 } },
        { 30, 30, true, { 0, 0, 30, 30 } },
        { 31, 20, false, { 5, 0, 20, 20 } },
    };

    for (const auto& c : cases)
    {
        for (auto flags : { 0, 1, 2, 3 })
        {
            juce::ToggleButton button ("Text that is never drawn");
            button.setSize (c.w, c.h);
            button.setToggleState (c.on, juce::dontSendNotification);
            button.setEnabled (flags != 3);

            RecordingContext context ({ 0, 0, c.w, c.h });
            juce::Graphics g (context);
            sharedLnf().drawToggleButton (g, button, flags & 1, flags & 2);

            ASSERT_EQ (context.images.size(), 1u);
            EXPECT_TRUE (context.images[0].image == (c.on ? sharedLnf().toggleOnImage : sharedLnf().toggleOffImage));
            EXPECT_TRUE (nearlyEqual (context.images[0].destination(), c.drawn)) << c.w << "x" << c.h;
            EXPECT_EQ (context.fills.size() + (size_t) context.paths + (size_t) context.glyphs, 0u);
        }
    }
}

TEST (LumoLNF, TextUsesRobotoMediumAtTheRightHeights)
{
    ForcePopupsInParentWindow lnf;
    juce::TextButton button ("OK");

    for (int height : { 20, 60 })
        EXPECT_EQ (lnf.getTextButtonFont (button, height), lnf.mainFont);

    lnf.mainFont.setHeight (9.0f);  // the main panel at half its design size
    EXPECT_EQ (lnf.getTextButtonFont (button, 20).getHeight(), 9.0f);

    juce::Label label;
    label.setFont (juce::Font (11.0f, juce::Font::bold));
    const auto font = lnf.getLabelFont (label);
    EXPECT_EQ (font.getTypefaceName(), "Roboto");
    EXPECT_EQ (font.getTypefaceStyle(), "Medium");
    EXPECT_FALSE (font.isBold());
    EXPECT_EQ (font.getHeight(), 11.0f);
}

// A selector's text draws in the selector's own font, the one its menu uses, whenever the
// embedded typeface lacks one of its characters; its other labels stay in Roboto.
TEST (LumoLNF, SelectorTextFallsBackToTheMenusFontForMissingCharacters)
{
    ForcePopupsInParentWindow lnf;
    juce::ComboBox combo;
    combo.setLookAndFeel (&lnf);
    combo.setBounds (0, 0, 160, 24);
    juce::Label plain;

    const struct
    {
        const char* utf8;
        bool roboto;
    } texts[] = {
        { "Live drums", true },
        { "\xc3\x9c\x62\x65\x72 \xd0\x96", true },  // Latin-1 and Cyrillic
        { "Chor \xe6\x97\xa5\xe6\x9c\xac", false },
        { "Bass \xe2\x99\xab", false },  // CJK, a music note
    };
    for (const auto& t : texts)
    {
        const auto text = juce::String::fromUTF8 (t.utf8);
        SCOPED_TRACE (text);
        EXPECT_EQ (LumoLNF::robotoDrawsEveryCharacterOf (text), t.roboto);

        combo.clear (juce::dontSendNotification);
        combo.addItem (text, 1);
        combo.setSelectedId (1, juce::dontSendNotification);
        auto* shown = dynamic_cast<juce::Label*> (combo.getChildComponent (0));
        ASSERT_NE (shown, nullptr);
        const auto font = lnf.getLabelFont (*shown);
        EXPECT_EQ (font.getTypefaceName() == "Roboto", t.roboto);
        if (! t.roboto)
        {
            EXPECT_EQ (font.getTypefaceName(), lnf.getPopupMenuFont().getTypefaceName());
        }

        plain.setText (text, juce::dontSendNotification);
        EXPECT_EQ (lnf.getLabelFont (plain).getTypefaceName(), "Roboto");
    }
    combo.setLookAndFeel (nullptr);
}

TEST (LumoLNF, SliderTextBoxIsACentredTransparentLabel)
{
    ForcePopupsInParentWindow lnf;
    lnf.textBoxFont.setHeight (12.0f);

    for (auto style : { juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::LinearBar })
    {
        juce::Slider slider (style, juce::Slider::TextBoxBelow);
        slider.setLookAndFeel (&lnf);

        auto textBox = [&slider]
        {
            for (auto* child : slider.getChildren())
                if (auto* label = dynamic_cast<juce::Label*> (child))
                    return label;
            return static_cast<juce::Label*> (nullptr);
        };

        auto* label = textBox();
        ASSERT_NE (label, nullptr);
        EXPECT_EQ (label->getFont().getHeight(), 12.0f);
        EXPECT_EQ (label->getFont().getTypefacePtr(), LumoLNF::getRobotoMediumTypeface());
        EXPECT_EQ (label->getJustificationType(), juce::Justification::centred);
        EXPECT_EQ (label->findColour (juce::Label::textColourId).getARGB(), 0xbfffffffu);
        EXPECT_EQ (label->findColour (juce::Label::backgroundColourId), juce::Colours::transparentBlack);

        // A colour of the slider's own reaches the text box that the slider asks for next.
        slider.setColour (juce::Slider::textBoxTextColourId, juce::Colours::orange);
        EXPECT_EQ (textBox()->findColour (juce::Label::textColourId), juce::Colours::orange);

        slider.setLookAndFeel (nullptr);
    }
}

TEST (LumoLNF, SnapshotsShowTheArtsColours)
{
    juce::Slider knob ("attack slider");
    knob.setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    knob.setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
    knob.setLookAndFeel (&sharedLnf());
    knob.setBounds (0, 0, 100, 112);
    knob.setValue (knob.getMaximum());

    // The top segment's bar stands at x 49..51, y 4.5..13.5: lit cyan, unlit near black.
    auto bar = knob.createComponentSnapshot (knob.getLocalBounds()).getPixelAt (50, 9);
    EXPECT_NEAR (bar.getRed(), 0x71, 12);
    EXPECT_NEAR (bar.getGreen(), 0xf7, 12);
    EXPECT_NEAR (bar.getBlue(), 0xfc, 12);

    knob.setValue (knob.getMinimum());
    bar = knob.createComponentSnapshot (knob.getLocalBounds()).getPixelAt (50, 9);
    EXPECT_LT (bar.getBrightness(), 0.1f);
    EXPECT_EQ (bar.getAlpha(), 255);
    knob.setLookAndFeel (nullptr);

    juce::ToggleButton toggle;
    toggle.setLookAndFeel (&sharedLnf());
    toggle.setBounds (0, 0, 54, 54);
    toggle.setToggleState (true, juce::dontSendNotification);
    const auto lamp = toggle.createComponentSnapshot (toggle.getLocalBounds()).getPixelAt (27, 27);
    EXPECT_NEAR (lamp.getRed(), 0x3e, 12);
    EXPECT_NEAR (lamp.getGreen(), 0xf3, 12);
    EXPECT_NEAR (lamp.getBlue(), 0xfb, 12);
    toggle.setLookAndFeel (nullptr);
}

// Menu rows of the preset menu's longest names at the row heights of the 640x480 and 800x600
// windows: at the width JUCE asks for, and narrowed as JUCE narrows a sub-menu without room on
// either side, every row shows its whole text, in a smaller font when it has to.
TEST (LumoLNF, PopupMenuRowsShowTheirWholeTextWhenNarrowed)
{
    ForcePopupsInParentWindow lnf;
    for (const juce::String text : { " snare cut background", " snare less attack", "* snare cut background *", "factory" })
        for (const int rowHeight : { 30, 37 })
            for (const float narrowing : { 1.0f, 0.75f, 0.6f })
                for (const bool hasSubMenu : { false, true })
                {
                    SCOPED_TRACE (text + " " + juce::String (rowHeight) + " " + juce::String (narrowing)
                                  + (hasSubMenu ? " >" : ""));
                    int idealWidth = 0, idealHeight = 0;
                    lnf.getIdealPopupMenuItemSize (text, false, rowHeight, idealWidth, idealHeight);
                    const juce::Rectangle<int> row (juce::roundToInt ((float) idealWidth * narrowing), rowHeight);

                    RecordingContext context (row);
                    juce::Graphics g (context);
                    lnf.drawPopupMenuItem (g, row, false, true, false, false, hasSubMenu, text, {}, nullptr, nullptr);
                    EXPECT_EQ (context.glyphs, text.removeCharacters (" ").length());
                    EXPECT_GE (context.getFont().getHeight(), 9.0f);
                    if (narrowing == 1.0f)
                    {
                        EXPECT_FLOAT_EQ (context.getFont().getHeight(), 17.0f);
                    }
                }
    EXPECT_FLOAT_EQ (lnf.getPopupMenuFont().getHeight(), 17.0f);
}
