#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

// The editor's look-and-feel. Knobs are a frame of a 55-frame filmstrip inside a ring of 27
// image segments, toggles one of two images, and text buttons, labels and slider text boxes
// use the embedded Roboto Medium. A knob or selector that holds the keyboard focus is outlined,
// and a pop-up menu row too narrow for its text draws it in a smaller font. Everything else is
// LookAndFeel_V4's dark scheme.
//
// The decoded images are shared by every instance through juce::ImageCache, the typeface
// through one static per process.
class LumoLNF : public juce::LookAndFeel_V4
{
public:
    LumoLNF();
    ~LumoLNF() override;

    // The typeface made from the embedded font, created by the first call in the process.
    static juce::Typeface::Ptr getRobotoMediumTypeface();

    // Whether the embedded typeface has a glyph for every visible character of the text.
    static bool robotoDrawsEveryCharacterOf (const juce::String&);

    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
    void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool shouldDrawButtonAsHighlighted,
                           bool shouldDrawButtonAsDown) override;
    juce::Font getLabelFont (juce::Label&) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPosProportional,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;
    juce::Label* createSliderTextBox (juce::Slider&) override;

    // Below the design size the selectors' arrow zone and their text's side margins shrink with
    // the panel, so that short texts stay whole in small windows; at `shrink` 1 they are
    // LookAndFeel_V4's.
    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown, int buttonX, int buttonY, int buttonW,
                       int buttonH, juce::ComboBox&) override;
    void positionComboBoxText (juce::ComboBox&, juce::Label&) override;

    // JUCE gives a pop-up menu the width its longest item asks for, unless there is no room for
    // it on either side of its parent menu (a sub-menu near the edge of the screen or of the
    // parent it opens in): then it narrows the menu and its rows would cut their texts. A row
    // whose text does not fit is drawn in a smaller font that shows it whole, down to 9 px.
    juce::Font getPopupMenuFont() override;
    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                            bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text,
                            const juce::String& shortcutKeyText, const juce::Drawable* icon,
                            const juce::Colour* textColour) override;
    static constexpr float popupMenuFontHeight = 17.0f, smallestPopupMenuFontHeight = 9.0f;

    // The height of the font a row of the given bounds draws its text in.
    static float popupMenuFontHeightFor (const juce::String& text, juce::Rectangle<int> row, bool hasSubMenu);

    // A knob or selector that holds the keyboard focus (and so takes the arrow keys) is
    // outlined in this colour.
    static inline const juce::Colour focusOutlineColour { 0xff5fd4e8 };

    // The owner may change the heights of these two (and nothing else about them) at any time;
    // the overrides read them at each call.
    juce::Font mainFont;     // text buttons and labels, 17 px at the design size
    juce::Font textBoxFont;  // slider text boxes, 14 px at the design size
    float shrink = 1.0f;     // the owner's scale below its design size, 1 at it and above

    // The art, fixed after construction.
    const juce::Image toggleOnImage;
    const juce::Image toggleOffImage;
    const std::vector<juce::Image> knobFramesLarge;  // 55 frames, 168x168, dot at -135 + 5 i degrees
    const std::vector<juce::Image> knobFramesSmall;  // the same 55 frames at 136x136
    const juce::Image segmentOnImage;                // lit ring segment, 22x36
    const juce::Image segmentBelowCentreImage;       // lit segment below the centre of a centre-zero ring
    const juce::Image segmentOffImage;               // unlit ring segment

private:
    float itemFontHeight = popupMenuFontHeight;  // while a row draws itself

    static void drawFocusOutline (juce::Graphics&, juce::Rectangle<float> area);
    void drawShrunkComboBox (juce::Graphics&, int width, int height, juce::ComboBox&) const;
    void drawKnobRing (juce::Graphics&, int width, float scale, int top, int side, float position,
                       const juce::String& name) const;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LumoLNF)
};
