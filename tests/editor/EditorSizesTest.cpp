// The editor from its smallest window to its largest: the settings panels follow the main
// panel, and every caption stays legible and whole. Snapshots for a person to look at are left
// beside the art contact sheet (BRISALTO_CONTACT_SHEET's folder).

#include "EditorTestSupport.h"
#include "OpenEditor.h"
#include "editor/lnf/LumoLNF.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    using Shell = BrisaltoAudioProcessorEditor;

    const juce::Point<int> minimumWindow { Shell::minimumWidth, Shell::minimumHeight };
    const juce::Point<int> designWindow { 800, 600 };
    const juce::Point<int> largestWindow { Shell::maximumWidth, 1200 };

    // The widest line of the text in the font the label is drawn with, and the width the label
    // leaves for it. JUCE squeezes a line down to 70 % before it cuts it.
    struct Fit
    {
        float textWidth, fontHeight;
        int areaWidth;
    };

    Fit fitOf (juce::Label& label)
    {
        const auto font = label.getLookAndFeel().getLabelFont (label);
        float widest = 0.0f;
        for (const auto& line : juce::StringArray::fromLines (label.getText()))
            widest = juce::jmax (widest, font.getStringWidthFloat (line.trim()));
        const auto area = label.getLookAndFeel().getLabelBorderSize (label).subtractedFrom (label.getLocalBounds());
        return { widest, font.getHeight(), area.getWidth() };
    }

    // Every showing label with text below `root`, selector texts included.
    void forEachCaption (juce::Component& root, const std::function<void (juce::Label&)>& visit)
    {
        for (auto* child : root.getChildren())
        {
            if (! child->isVisible())
                continue;
            if (auto* label = dynamic_cast<juce::Label*> (child); label != nullptr && label->getText().trim().isNotEmpty())
                visit (*label);
            forEachCaption (*child, visit);
        }
    }

    // Where the lit bar of a ring segment lies in its image: its opaque pixels (the rest is glow).
    juce::Rectangle<float> barOf (const juce::Image& segment)
    {
        juce::Rectangle<int> bar;
        for (int y = 0; y < segment.getHeight(); ++y)
            for (int x = 0; x < segment.getWidth(); ++x)
                if (segment.getPixelAt (x, y).getAlpha() == 255)
                    bar = bar.getUnion ({ x, y, 1, 1 });
        return bar.toFloat();
    }

    juce::String pathOf (const juce::Component& c)
    {
        juce::String path = c.getName();
        for (auto* p = c.getParentComponent(); p != nullptr; p = p->getParentComponent())
            path = p->getName() + "/" + path;
        return path;
    }
}

TEST (EditorSizes, WeightPanelFollowsTheMainPanelAndCoversItWithABackdrop)
{
    OpenEditor open;
    auto& panel = open.panel();
    auto& weights = *panel.weightPanel;
    panel.weightButton->setToggleState (true, juce::sendNotificationSync);
    ASSERT_TRUE (weights.isVisible() && panel.backdropLabel->isVisible());
    open.processor.mInputChannelLevels[0] = 1.0f;  // a hot input lights all four LEDs of the first meter
    open.processor.mInputChannelLevels[1] = 0.1f;
    weights.timerCallback();

    for (const auto& [size, name] :
         { std::pair (minimumWindow, "minimum"), std::pair (designWindow, "design"), std::pair (largestWindow, "largest") })
    {
        SCOPED_TRACE (name);
        open.editor->setSize (size.x, size.y);
        const float sx = (float) panel.getWidth() / 800.0f, sy = (float) panel.getHeight() / 600.0f;
        EXPECT_EQ (weights.getBounds(),
                   juce::Rectangle<int> ((int) (35 * sx), (int) (100 * sy), (int) (720 * sx), (int) (405 * sy)));

        // Every control on screen (the panel's own scaling is WeightPanelTest's), and each meter
        // as wide as its knob's box, with its four LEDs whole inside it.
        for (const auto& child : weights.children())
            EXPECT_TRUE (panel.getLocalBounds().contains (panel.getLocalArea (&weights, child->getBounds()))) << pathOf (*child);
        for (size_t i = 0; i < weights.channelMeters.size(); ++i)
        {
            const auto& meter = *weights.channelMeters[i];
            EXPECT_NEAR (meter.getWidth(), weights.weightSliders[i]->getWidth() * 56.0f / 72.0f, 1.0f) << i;
            ASSERT_EQ (meter.getNumChildComponents(), 4);
            for (auto* led : meter.getChildren())
                EXPECT_TRUE (meter.getLocalBounds().contains (led->getBounds()) && led->getWidth() >= meter.getWidth() / 4 - 1)
                    << i << ": " << led->getBounds().toString() << " in " << meter.getBounds().toString();
        }
        writeEditorSnapshot (weights, "weight-panel-" + juce::String (size.x) + "x" + juce::String (size.y) + ".png");

        // Below the header nothing of the main panel takes a click.
        for (int y = panel.getHeight() / 6; y < panel.getHeight(); y += 7)
            for (int x = 0; x < panel.getWidth(); x += 7)
            {
                auto* hit = panel.getComponentAt (x, y);
                ASSERT_TRUE (hit == panel.backdropLabel.get() || hit == &weights || weights.isParentOf (hit))
                    << x << ", " << y << ": " << (hit != nullptr ? pathOf (*hit) : juce::String ("nothing"));
            }

        writeEditorSnapshot (*open.editor, juce::String ("editor-weights-") + name + ".png");
    }

    panel.weightButton->setToggleState (false, juce::sendNotificationSync);
    EXPECT_FALSE (weights.isVisible() || panel.backdropLabel->isVisible());
}

TEST (EditorSizes, CaptionsStayLegibleAndWholeAtTheMinimumSize)
{
    ScopedXdgFolders folders;
    OpenEditor open;
    auto& panel = open.panel();
    open.editor->setSize (minimumWindow.x, minimumWindow.y);
    panel.saveDialog->setVisible (true);

    constexpr float legibleHeight = 9.0f;
    for (auto* shown : { static_cast<juce::Component*> (nullptr), static_cast<juce::Component*> (panel.advancedPanel.get()),
                         static_cast<juce::Component*> (panel.weightPanel.get()) })
    {
        if (shown != nullptr)
            shown->setVisible (true);
        forEachCaption (panel,
                        [&] (juce::Label& label)
                        {
                            const auto fit = fitOf (label);
                            EXPECT_GE (fit.fontHeight, legibleHeight) << pathOf (label) << " \"" << label.getText() << "\"";
                            EXPECT_LE (fit.textWidth * 0.7f, (float) fit.areaWidth)
                                << pathOf (label) << " \"" << label.getText() << "\"";
                        });
        if (shown == panel.advancedPanel.get())
            writeEditorSnapshot (*open.editor, "editor-advanced-minimum.png");
        if (shown != nullptr)
            shown->setVisible (false);
    }
}

// A knob's drawing is cut at its edges. At every size the knobs of all three panels keep their
// rings inside them: no segment's bar loses as much as a pixel there, the ticks at 3 and 9
// o'clock (the nearest to the sides) included.
TEST (EditorSizes, KnobRingsStayWholeInsideTheKnobs)
{
    OpenEditor open;
    auto& panel = open.panel();

    for (const auto& size : { minimumWindow, designWindow, largestWindow })
    {
        const auto sizeName = juce::String (size.x) + "x" + juce::String (size.y);
        SCOPED_TRACE (sizeName);
        open.editor->setSize (size.x, size.y);

        for (const auto& [owner, ownerName] : { std::pair<juce::Component*, const char*> (&panel, "main"),
                                                std::pair<juce::Component*, const char*> (panel.advancedPanel.get(), "advanced"),
                                                std::pair<juce::Component*, const char*> (panel.weightPanel.get(), "weight") })
            for (auto* child : owner->getChildren())
            {
                auto* knob = dynamic_cast<juce::Slider*> (child);
                if (knob == nullptr)
                    continue;

                const auto& lnf = dynamic_cast<LumoLNF&> (knob->getLookAndFeel());
                RecordingContext context (knob->getLocalBounds());
                juce::Graphics g (context);
                knob->paintEntireComponent (g, false);

                int segments = 0;
                for (const auto& drawn : context.images)
                {
                    if (! (drawn.image == lnf.segmentOnImage || drawn.image == lnf.segmentBelowCentreImage
                           || drawn.image == lnf.segmentOffImage))
                        continue;
                    const auto bar = barOf (drawn.image).transformedBy (drawn.transform);
                    EXPECT_TRUE (knob->getLocalBounds().toFloat().expanded (1.0f).contains (bar))
                        << ownerName << " " << knob->getBounds().toString() << ": segment " << segments << " at "
                        << bar.toString();
                    ++segments;
                }
                EXPECT_EQ (segments, 27) << ownerName << " " << knob->getBounds().toString();
            }

        writeEditorSnapshot (panel, "main-panel-" + sizeName + ".png");
    }
}
