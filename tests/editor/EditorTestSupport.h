#pragma once

#include "common/MessagePump.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <cstdlib>
#include <vector>

// The fifteen embedded LED images, without their ".png".
inline constexpr const char* ledImageNames[] = {
    "led_green_on",   "led_green_off",    "led_red_on",     "led_red_off",    "led_amber_on",
    "led_amber_dim",  "led_amber_off",    "led_blue_on",    "led_cyan_on",    "led_violet_on",
    "led_magenta_on", "led_lightblue_on", "led_shared_dim", "led_shared_off", "led_grey",
};

// A graphics context that draws nothing and records what it is asked to draw: image draws with
// their whole transform and opacity, fills, and the glyphs and paths it is given.
class RecordingContext final : public juce::LowLevelGraphicsContext
{
public:
    struct ImageDraw
    {
        juce::Image image;
        juce::AffineTransform transform;
        float opacity;

        // Where the image's corners land: the bounding box of the drawn image.
        juce::Rectangle<float> destination() const { return image.getBounds().toFloat().transformedBy (transform); }
    };

    struct Fill
    {
        juce::Rectangle<float> area;
        juce::FillType fill;
        float opacity;
    };

    explicit RecordingContext (juce::Rectangle<int> area) { states.push_back ({ {}, area, {}, 1.0f }); }

    std::vector<ImageDraw> images;
    std::vector<Fill> fills;
    int paths = 0;
    int glyphs = 0;
    int qualityChanges = 0;

    bool isVectorDevice() const override { return false; }
    void setOrigin (juce::Point<int> o) override { addTransform (juce::AffineTransform::translation (o.toFloat())); }
    void addTransform (const juce::AffineTransform& t) override { state().transform = t.followedBy (state().transform); }
    float getPhysicalPixelScaleFactor() override { return 1.0f; }

    bool clipToRectangle (const juce::Rectangle<int>& r) override
    {
        state().clip = state().clip.getIntersection (toDevice (r));
        return ! isClipEmpty();
    }

    bool clipToRectangleList (const juce::RectangleList<int>& list) override { return clipToRectangle (list.getBounds()); }
    void excludeClipRectangle (const juce::Rectangle<int>&) override {}
    void clipToPath (const juce::Path&, const juce::AffineTransform&) override {}
    void clipToImageAlpha (const juce::Image&, const juce::AffineTransform&) override {}
    bool clipRegionIntersects (const juce::Rectangle<int>& r) override { return toDevice (r).intersects (state().clip); }

    juce::Rectangle<int> getClipBounds() const override
    {
        const auto& s = states.back();
        return s.clip.toFloat().transformedBy (s.transform.inverted()).getSmallestIntegerContainer();
    }

    bool isClipEmpty() const override { return states.back().clip.isEmpty(); }
    void saveState() override { states.push_back (state()); }
    void restoreState() override
    {
        if (states.size() > 1)
            states.pop_back();
    }
    void beginTransparencyLayer (float) override { saveState(); }
    void endTransparencyLayer() override { restoreState(); }
    void setFill (const juce::FillType& f) override { state().fill = f; }
    void setOpacity (float o) override { state().opacity = o; }
    void setInterpolationQuality (juce::Graphics::ResamplingQuality) override { ++qualityChanges; }
    void fillRect (const juce::Rectangle<int>& r, bool) override { fillRect (r.toFloat()); }
    void fillRect (const juce::Rectangle<float>& r) override
    {
        fills.push_back ({ r.transformedBy (state().transform), state().fill, state().opacity });
    }
    void fillRectList (const juce::RectangleList<float>& list) override
    {
        for (auto& r : list)
            fillRect (r);
    }
    void fillPath (const juce::Path&, const juce::AffineTransform&) override { ++paths; }
    void drawImage (const juce::Image& i, const juce::AffineTransform& t) override
    {
        images.push_back ({ i, t.followedBy (state().transform), state().opacity });
    }
    void drawLine (const juce::Line<float>&) override { ++paths; }
    void setFont (const juce::Font& f) override { font = f; }
    const juce::Font& getFont() override { return font; }
    void drawGlyph (int, const juce::AffineTransform&) override { ++glyphs; }

private:
    struct State
    {
        juce::AffineTransform transform;
        juce::Rectangle<int> clip;
        juce::FillType fill;
        float opacity;
    };

    State& state() { return states.back(); }

    juce::Rectangle<int> toDevice (juce::Rectangle<int> r) const
    {
        return r.toFloat().transformedBy (states.back().transform).getSmallestIntegerContainer();
    }

    std::vector<State> states;
    juce::Font font;
};

inline bool nearlyEqual (juce::Rectangle<float> a, juce::Rectangle<float> b, float tolerance = 1e-3f)
{
    return std::abs (a.getX() - b.getX()) <= tolerance && std::abs (a.getY() - b.getY()) <= tolerance
        && std::abs (a.getRight() - b.getRight()) <= tolerance && std::abs (a.getBottom() - b.getBottom()) <= tolerance;
}

// Leaves a snapshot of the component for a person to look at, beside the art contact sheet
// (BRISALTO_CONTACT_SHEET's folder: the build folder under CTest); nothing when that is unset.
inline void writeEditorSnapshot (juce::Component& component, const juce::String& fileName)
{
    const auto* sheet = std::getenv ("BRISALTO_CONTACT_SHEET");
    if (sheet == nullptr)
        return;
    const auto file = juce::File (sheet).getSiblingFile (fileName);
    const auto image = component.createComponentSnapshot (component.getLocalBounds());
    file.deleteFile();
    juce::FileOutputStream out (file);
    if (out.openedOk())
        juce::PNGImageFormat().writeImageToStream (image, out);
}
