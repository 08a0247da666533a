#include "editor/lnf/LumoLNF.h"

#include "editor/lnf/EmbeddedArt.h"

#include <cmath>

namespace
{
    constexpr int framesPerStrip = 55;
    constexpr int segmentCount = 27;
    constexpr int topSegment = 13;

    std::vector<juce::Image> loadStrip (const char* prefix)
    {
        std::vector<juce::Image> frames;
        frames.reserve (framesPerStrip);

        for (int i = 0; i < framesPerStrip; ++i)
            frames.push_back (
                brisalto::EmbeddedArt::image ((prefix + juce::String (i).paddedLeft ('0', 2) + ".png").toRawUTF8()));

        return frames;
    }

    // The length of a ring segment at the knob's scale. The outer quarter of a segment is glow.
    int segmentLengthAt (float scale) noexcept
    {
        return (int) (18.0f * scale + 0.5f);
    }

    // Positions come from JUCE within 0..1; anything else is held to that range, NaN as 0.
    float safePosition (float position) noexcept
    {
        return std::isnan (position) ? 0.0f : juce::jlimit (0.0f, 1.0f, position);
    }

    enum class Segment
    {
        off,
        lit,
        litBelowCentre
    };

    // Which image segment i (0 at the lower left, 13 at the top, 26 at the lower right) shows.
    Segment segmentFor (int i, float position, const juce::String& name) noexcept
    {
        if (name == "mid_is_zero_slider")
        {
            if (position >= 0.5f)
            {
                const auto k = (int) (27.0f * (position - 0.5f));
                return i >= topSegment && i <= topSegment + k ? Segment::lit : Segment::off;
            }

            const auto m = (int) (27.0f * (0.5f - position));
            return i >= juce::jmax (0, topSegment - m) && i <= topSegment ? Segment::litBelowCentre : Segment::off;
        }

        const auto n = (int) (27.0f * position);

        if (name == "right_is_zero_slider")
            return i >= n ? Segment::lit : Segment::off;

        return i < n ? Segment::lit : Segment::off;
    }
}

LumoLNF::LumoLNF()
    : toggleOnImage (brisalto::EmbeddedArt::image ("toggle_on.png"))
    , toggleOffImage (brisalto::EmbeddedArt::image ("toggle_off.png"))
    , knobFramesLarge (loadStrip ("knob_large_"))
    , knobFramesSmall (loadStrip ("knob_small_"))
    , segmentOnImage (brisalto::EmbeddedArt::image ("segment_on.png"))
    , segmentBelowCentreImage (brisalto::EmbeddedArt::image ("segment_below_centre.png"))
    , segmentOffImage (brisalto::EmbeddedArt::image ("segment_off.png"))
{
    setColour (juce::Slider::textBoxTextColourId, juce::Colour (0xbfffffff));
    setColour (juce::Label::textColourId, juce::Colour (0xbfffffff));
    setColour (juce::TextButton::textColourOffId, juce::Colour (0xa6ffffff));
    setColour (juce::TextButton::textColourOnId, juce::Colour (0xd9ffffff));
    setColour (juce::ComboBox::textColourId, juce::Colour (0xbfffffff));
    setColour (juce::ComboBox::backgroundColourId, juce::Colour (0x00ffffff));

    mainFont = juce::Font (getRobotoMediumTypeface());
    mainFont.setHeight (17.0f);
    textBoxFont = mainFont;
    textBoxFont.setHeight (14.0f);
}

LumoLNF::~LumoLNF() = default;

juce::Typeface::Ptr LumoLNF::getRobotoMediumTypeface()
{
    static const juce::Typeface::Ptr sRobotoTF = []
    {
        const auto font = brisalto::EmbeddedArt::robotoMedium();
        return juce::Typeface::createSystemTypefaceFor (font.bytes, (size_t) font.size);
    }();

    return sRobotoTF;
}

juce::Font LumoLNF::getTextButtonFont (juce::TextButton&, int)
{
    return mainFont;
}

bool LumoLNF::robotoDrawsEveryCharacterOf (const juce::String& text)
{
    // The embedded typeface draws its "missing glyph" box for a character it lacks: any
    // character whose outline is that box is missing. U+FFFF is never a character.
    auto typeface = getRobotoMediumTypeface();
    const auto outlineOf = [&typeface] (juce::juce_wchar c)
    {
        juce::Path outline;
        typeface->getOutlineForGlyph ((int) c, outline);
        return outline;
    };
    static const juce::Path missingGlyph = outlineOf (0xffff);

    for (auto p = text.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = p.getAndAdvance();
        if (! juce::CharacterFunctions::isWhitespace (c) && outlineOf (c) == missingGlyph)
            return false;
    }
    return true;
}

juce::Font LumoLNF::getLabelFont (juce::Label& label)
{
    // A selector's text that the embedded typeface cannot draw whole keeps the selector's own
    // font, the one its pop-up menu draws with.
    if (dynamic_cast<juce::ComboBox*> (label.getParentComponent()) != nullptr && ! robotoDrawsEveryCharacterOf (label.getText()))
        return label.getFont();

    auto font = mainFont;
    font.setHeight (label.getFont().getHeight());
    return font;
}

void LumoLNF::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool)
{
    const auto& image = button.getToggleState() ? toggleOnImage : toggleOffImage;
    const auto w = button.getWidth(), h = button.getHeight();
    const auto iw = image.getWidth(), ih = image.getHeight();

    if (image.isValid() && iw != ih)
    {
        g.drawImage (image, 0, 0, w, h, 0, 0, iw, ih, false);
        return;
    }

    const auto side = juce::jmin (w, h);
    g.drawImage (image, (w - side) / 2, (h - side) / 2, side, side, 0, 0, iw, iw, false);
}

juce::Label* LumoLNF::createSliderTextBox (juce::Slider& slider)
{
    auto* label = new juce::Label();
    label->setFont (textBoxFont);
    label->setJustificationType (juce::Justification::centred);
    label->setKeyboardType (juce::TextInputTarget::decimalKeyboard);
    label->setColour (juce::Label::textColourId, slider.findColour (juce::Slider::textBoxTextColourId));
    label->setColour (juce::Label::backgroundColourId, juce::Colours::transparentBlack);
    return label;
}

void LumoLNF::drawFocusOutline (juce::Graphics& g, juce::Rectangle<float> area)
{
    g.setColour (focusOutlineColour);
    g.drawRoundedRectangle (area.reduced (1.0f), 4.0f, 2.0f);
}

void LumoLNF::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos, float, float,
                                juce::Slider& slider)
{
    if (! slider.isEnabled())
        g.setOpacity (0.6f);

    const auto position = safePosition (sliderPos);
    const auto scale = width > 81 ? 1.0f : (float) width / 108.0f;
    const auto& frames = width < 90 ? knobFramesSmall : knobFramesLarge;
    const auto top = (int) (12.0f * scale + 0.5f);
    // The ring stands `top` out from the frame, sideways as well as up. The frame leaves it room
    // beside it: at 3 and 9 o'clock no more than the segments' glow and half a pixel of their
    // bars fall outside the area.
    const auto ringRoom = width - 2 * top + segmentLengthAt (scale) / 2 + 1;
    const auto side = juce::jmax (0, juce::jmin (height - top, width, ringRoom));

    if (! frames.empty())
    {
        const auto index = (int) ((float) (frames.size() - 1) * position);
        const auto& frame = frames[(size_t) index];
        g.drawImage (frame, (width - side) / 2, top, side, side, 0, 0, frame.getWidth(), frame.getHeight(), false);
    }

    drawKnobRing (g, width, scale, top, side, position, slider.getName());

    if (slider.hasKeyboardFocus (false))
        drawFocusOutline (g, juce::Rectangle<int> (x, y, width, height).toFloat());
}

void LumoLNF::drawKnobRing (juce::Graphics& g, int width, float scale, int top, int side, float position,
                            const juce::String& name) const
{
    // The segments take their scale from the lit image; without it there is no ring to draw.
    if (! segmentOnImage.isValid())
        return;

    const auto segmentWidth = (int) (11.0f * scale + 0.5f);
    const auto segmentHeight = segmentLengthAt (scale);
    const auto upright = juce::AffineTransform::scale ((float) segmentWidth / (float) segmentOnImage.getWidth(),
                                                       (float) segmentHeight / (float) segmentOnImage.getHeight())
                             .translated ((float) width * 0.5f - (float) segmentWidth * 0.5f, 0.0f);
    const auto pivotX = (float) width * 0.5f;
    const auto pivotY = (float) top + (float) side * 0.5f;

    // -144 degrees, then 27 steps of 288 / 26 degrees, summed in single precision.
    auto angle = -2.5132742f;

    for (int i = 0; i < segmentCount; ++i, angle += 0.19332878f)
    {
        const auto state = segmentFor (i, position, name);
        const auto& image = state == Segment::lit ? segmentOnImage
            : state == Segment::litBelowCentre    ? segmentBelowCentreImage
                                                  : segmentOffImage;
        g.drawImageTransformed (image, upright.rotated (angle, pivotX, pivotY), false);
    }
}

//==============================================================================
juce::Font LumoLNF::getPopupMenuFont()
{
    return juce::Font (itemFontHeight);
}

float LumoLNF::popupMenuFontHeightFor (const juce::String& text, juce::Rectangle<int> row, bool hasSubMenu)
{
    // The text's room in a row as LookAndFeel_V4 lays it out: a margin, the tick's square,
    // the sub-menu arrow and 3 px on the right.
    auto r = row.reduced (1);
    r.reduce (juce::jmin (5, row.getWidth() / 20), 0);
    const float rowFontHeight = (float) r.getHeight() / 1.3f;
    r.removeFromLeft (juce::roundToInt (rowFontHeight));
    if (hasSubMenu)
        r.removeFromRight ((int) (0.6f * juce::Font (popupMenuFontHeight).getAscent()));
    r.removeFromRight (3);

    const float height = juce::jmin (popupMenuFontHeight, rowFontHeight);
    const float width = juce::Font (height).getStringWidthFloat (text);
    if (width <= (float) r.getWidth())
        return height;

    // The width of a line grows in proportion to its font's height.
    const float fitting = std::floor (height * (float) r.getWidth() / width * 10.0f) / 10.0f;
    return juce::jmax (smallestPopupMenuFontHeight, fitting);
}

void LumoLNF::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                                 bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text,
                                 const juce::String& shortcutKeyText, const juce::Drawable* icon, const juce::Colour* textColour)
{
    const juce::ScopedValueSetter<float> rowFont (itemFontHeight,
                                                  isSeparator ? itemFontHeight : popupMenuFontHeightFor (text, area, hasSubMenu));
    LookAndFeel_V4::drawPopupMenuItem (g, area, isSeparator, isActive, isHighlighted, isTicked, hasSubMenu, text, shortcutKeyText,
                                       icon, textColour);
}

//==============================================================================
namespace
{
    // LookAndFeel_V4's selector: the text ends 30 px before the right edge, where a 20 px wide
    // arrow zone starts; the text has 5 px side margins.
    constexpr float comboArrowAllowance = 30.0f, comboArrowZone = 20.0f, comboTextMargin = 5.0f;
}

void LumoLNF::drawComboBox (juce::Graphics& g, int width, int height, bool isButtonDown, int buttonX, int buttonY, int buttonW,
                            int buttonH, juce::ComboBox& box)
{
    if (shrink >= 1.0f)
        LookAndFeel_V4::drawComboBox (g, width, height, isButtonDown, buttonX, buttonY, buttonW, buttonH, box);
    else
        drawShrunkComboBox (g, width, height, box);

    if (box.hasKeyboardFocus (false))
        drawFocusOutline (g, juce::Rectangle<int> (width, height).toFloat());
}

void LumoLNF::drawShrunkComboBox (juce::Graphics& g, int width, int height, juce::ComboBox& box) const
{
    const float cornerSize = 3.0f;
    const auto bounds = juce::Rectangle<int> (0, 0, width, height).toFloat();
    g.setColour (box.findColour (juce::ComboBox::backgroundColourId));
    g.fillRoundedRectangle (bounds, cornerSize);
    g.setColour (box.findColour (juce::ComboBox::outlineColourId));
    g.drawRoundedRectangle (bounds.reduced (0.5f, 0.5f), cornerSize, 1.0f);

    const float left = (float) width - comboArrowAllowance * shrink, right = left + comboArrowZone * shrink;
    const float centreX = (left + right) * 0.5f, centreY = (float) height * 0.5f, inset = 3.0f * shrink;
    juce::Path arrow;
    arrow.startNewSubPath (left + inset, centreY - 2.0f * shrink);
    arrow.lineTo (centreX, centreY + 3.0f * shrink);
    arrow.lineTo (right - inset, centreY - 2.0f * shrink);

    g.setColour (box.findColour (juce::ComboBox::arrowColourId).withAlpha (box.isEnabled() ? 0.9f : 0.2f));
    g.strokePath (arrow, juce::PathStrokeType (2.0f * shrink));
}

void LumoLNF::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    LookAndFeel_V4::positionComboBoxText (box, label);
    const float scale = juce::jmin (1.0f, shrink);
    const int margin = juce::roundToInt (comboTextMargin * scale);
    label.setBounds (1, 1, box.getWidth() - juce::roundToInt (comboArrowAllowance * scale), box.getHeight() - 2);
    label.setBorderSize ({ 1, margin, 1, margin });
}
