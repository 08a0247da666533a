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

    // The keyboard focus stays with what the user chose last, and only while it is shown. A
    // panel holds the focus itself while none of its controls does (JUCE hands it to the panel
    // when a focused control, sub-panel or dialog inside it is hidden or disabled); panels use
    // no keys, so every key goes on towards the host.
    void holdKeyboardFocusForControls (juce::Component& panel);

    // Buttons, toggles, the main panel's selectors and labels use no keys: they never hold the
    // focus, and a click on one hands it to the panel around it, away from any control chosen
    // before.
    void leaveKeyboardFocusToPanel (juce::Component&);

    // The settings panels' selectors take the focus on a click, so that the arrow keys step
    // through their items; the look-and-feel outlines them while they hold it.
    void takeKeyboardFocusOnClick (juce::Component&);

    // Knobs take the focus on a click like the selectors, and the arrow keys step them. A step
    // reaches the knob's listeners between sliderDragStarted and sliderDragEnded, so that the
    // host hears it inside a change gesture, as it hears a drag.
    void stepWithArrowKeysOnceClicked (juce::Slider& knob);
}
