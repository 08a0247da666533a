#include "editor/panels/PanelLayout.h"

#include <cmath>

namespace brisalto::PanelLayout
{
    int scaled (float size, float fraction) noexcept
    {
        const float product = size * fraction;
        return (int) std::nearbyint (product);  // the default rounding mode: to nearest, ties to even
    }

    juce::Rectangle<int> place (const Fractions& f, float width, float height) noexcept
    {
        return { scaled (width, f.x), scaled (height, f.y), scaled (width, f.w), scaled (height, f.h) };
    }

    Fractions fractionsOf (juce::Rectangle<int> b, int designWidth, int designHeight) noexcept
    {
        const auto w = (float) designWidth, h = (float) designHeight;
        return { (float) b.getX() / w, (float) b.getY() / h, (float) b.getWidth() / w, (float) b.getHeight() / h };
    }

    juce::Rectangle<int> scaledPlace (juce::Rectangle<int> designPlace, const juce::Component& parent, int designWidth,
                                      int designHeight) noexcept
    {
        const float sx = (float) parent.getWidth() / (float) designWidth;
        const float sy = (float) parent.getHeight() / (float) designHeight;
        return { (int) ((float) designPlace.getX() * sx), (int) ((float) designPlace.getY() * sy),
                 (int) ((float) designPlace.getWidth() * sx), (int) ((float) designPlace.getHeight() * sy) };
    }

    void recordLabelFontHeights (juce::Component& panel, LabelFontHeights& heights)
    {
        for (auto* child : panel.getChildren())
            if (auto* label = dynamic_cast<juce::Label*> (child))
                heights[label] = label->getFont().getHeight();
    }

    juce::Font labelFont (float height)
    {
        return juce::Font (height, juce::Font::plain).withTypefaceStyle ("Regular");
    }

    void rescaleLabelFonts (juce::Component& panel, LabelFontHeights& heights, int designWidth, int designHeight)
    {
        const auto w = (float) panel.getWidth();
        const auto h = (float) panel.getHeight();
        const bool atLeastDesignSize = panel.getWidth() >= designWidth && panel.getHeight() >= designHeight;
        const float scale = juce::jmin (w / (float) designWidth, h / (float) designHeight);

        for (auto* child : panel.getChildren())
        {
            if (auto* label = dynamic_cast<juce::Label*> (child))
            {
                const float h0 = heights[label];
                const float height = atLeastDesignSize ? h0 : h0 * scale + 0.5f;
                label->setFont (labelFont (juce::jlimit (0.1f, 10000.0f, height)));
            }
        }
    }

    void setUpLabel (juce::Label& label, float fontHeight, juce::Justification justification)
    {
        label.setFont (labelFont (fontHeight));
        label.setJustificationType (justification);
        label.setEditable (false, false, false);
        label.setColour (juce::TextEditor::textColourId, juce::Colours::black);
        label.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
    }

    void holdKeyboardFocusForControls (juce::Component& panel)
    {
        panel.setWantsKeyboardFocus (true);
        panel.setMouseClickGrabsKeyboardFocus (true);
    }

    void leaveKeyboardFocusToPanel (juce::Component& component)
    {
        // A click grabs the focus for a component that does not want it: JUCE passes it up to
        // the nearest parent that does.
        component.setWantsKeyboardFocus (false);
        component.setMouseClickGrabsKeyboardFocus (true);
    }

    void takeKeyboardFocusOnClick (juce::Component& component)
    {
        component.setWantsKeyboardFocus (true);
        component.setMouseClickGrabsKeyboardFocus (true);
    }

    namespace
    {
        // Sees a focused knob's keys before the knob does (key listeners come first).
        struct ArrowKeyGesture final : juce::KeyListener
        {
            bool keyPressed (const juce::KeyPress& key, juce::Component* origin) override
            {
                auto* knob = dynamic_cast<juce::Slider*> (origin);
                const int code = key.getKeyCode();
                const bool arrow = code == juce::KeyPress::upKey || code == juce::KeyPress::downKey
                    || code == juce::KeyPress::leftKey || code == juce::KeyPress::rightKey;
                if (knob == nullptr || ! arrow || key.getModifiers().isAnyModifierKeyDown())
                    return false;

                const juce::Slider::ScopedDragNotification gesture (*knob);
                return knob->keyPressed (key);
            }
        };
    }

    void stepWithArrowKeysOnceClicked (juce::Slider& knob)
    {
        static ArrowKeyGesture gesture;
        takeKeyboardFocusOnClick (knob);
        knob.removeKeyListener (&gesture);
        knob.addKeyListener (&gesture);
    }

    std::unique_ptr<juce::Label> addTextLabel (juce::Component& panel, const juce::String& text, float fontHeight,
                                               juce::Justification justification)
    {
        auto label = std::make_unique<juce::Label> ("new label", TRANS (text));
        setUpLabel (*label, fontHeight, justification);
        leaveKeyboardFocusToPanel (*label);
        panel.addAndMakeVisible (*label);
        return label;
    }
}
