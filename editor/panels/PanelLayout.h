#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>
#include <memory>

// Layout and keyboard helpers shared by the editor's panels.
namespace brisalto::PanelLayout
{
    // A child's place as fractions of its panel's width (x, width) and height (y, height).
    struct Fractions
    {
        float x, y, w, h;
    };

    // size × fraction in single precision, rounded to the nearest integer (ties to even).
    int scaled (float size, float fraction) noexcept;

    juce::Rectangle<int> place (const Fractions&, float width, float height) noexcept;

    // The fractions of a panel of the given design size that a child's design bounds make.
    Fractions fractionsOf (juce::Rectangle<int> designBounds, int designWidth, int designHeight) noexcept;

    // A rectangle given at the parent's design size, in the parent at its current size: x and
    // width scaled by the parent's width scale, y and height by its height scale, truncated.
    juce::Rectangle<int> scaledPlace (juce::Rectangle<int> designPlace, const juce::Component& parent, int designWidth,
                                      int designHeight) noexcept;

    // The font height of every juce::Label child, as set when the panel was built.
    using LabelFontHeights = std::map<juce::Label*, float>;
    void recordLabelFontHeights (juce::Component& panel, LabelFontHeights&);

    // Gives every juce::Label child a plain "Regular" font of its recorded height h0 when the
    // panel is at least its design size in both dimensions, else of h0 × min (w / W, h / H) + 0.5;
    // either clamped to 0.1 .. 10000. A label without a record counts as 0 (and gets one).
    void rescaleLabelFonts (juce::Component& panel, LabelFontHeights&, int designWidth, int designHeight);

    juce::Font labelFont (float height);

    // A label that shows text only: the given font height and justification, not editable,
    // and the colours its editor would have, were it edited.
    void setUpLabel (juce::Label&, float fontHeight, juce::Justification);

    // A text label as above, its text translated, never taking the focus, added to `panel`.
    std::unique_ptr<juce::Label> addTextLabel (juce::Component& panel, const juce::String& text, float fontHeight,
                                               juce::Justification);

    // Buttons, toggles, combo boxes and knobs neither want nor take the keyboard focus on a
    // click, so that key presses keep reaching the host: JUCE forwards none once the plug-in
    // holds the focus. Only fields where the user types keep it.
    void neverTakeKeyboardFocus (juce::Component&);

    // The settings panels' selectors take the focus on a click, so that the arrow keys step
    // through their items.
    void takeKeyboardFocusOnClick (juce::Component&);
}
