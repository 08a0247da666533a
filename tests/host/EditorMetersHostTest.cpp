// The built plug-ins' editor in a host window while the demo signal plays in real time, under an
// X display (xvfb-run): the panel's meters move. Snapshots of the moving meters are left in the
// build folder (editor-meters-vst3-1.png, -2.png and the same for the LV2). Skipped without a
// display.

#include "EditorSession.h"
#include "HostTestSupport.h"

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace brisalto::host::test
{
    namespace
    {

        // Plays the demo signal through the instance at the pace of a sound card.
        class RealTimeDemo
        {
        public:
            RealTimeDemo (juce::AudioPluginInstance& instance, const DemoChannelLayout& layout, double sampleRate, int blockSize)
                : plugin (instance)
                , channels (layout.signalChannels)
                , generator (sampleRate)
                , buffer (juce::jmax (instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels()), blockSize)
                , blockDuration (std::chrono::microseconds ((juce::int64) (1.0e6 * blockSize / sampleRate)))
                , worker ([this] { run(); })
            {
            }

            ~RealTimeDemo()
            {
                running = false;
                worker.join();
            }

        private:
            void run()
            {
                juce::MidiBuffer midi;
                auto due = std::chrono::steady_clock::now();
                while (running)
                {
                    buffer.clear();
                    generator.render (buffer, channels, buffer.getNumSamples());
                    plugin.processBlock (buffer, midi);
                    due += blockDuration;
                    std::this_thread::sleep_until (due);
                }
            }

            juce::AudioPluginInstance& plugin;
            const int channels;
            DemoSignalGenerator generator;
            juce::AudioBuffer<float> buffer;
            const std::chrono::microseconds blockDuration;
            std::atomic<bool> running { true };
            std::thread worker;
        };

        // Pixels that differ between two images of the same size inside an area.
        int differingPixels (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
        {
            int count = 0;
            for (int y = area.getY(); y < area.getBottom(); ++y)
                for (int x = area.getX(); x < area.getRight(); ++x)
                    count += a.getPixelAt (x, y) != b.getPixelAt (x, y) ? 1 : 0;
            return count;
        }

        // Pixels of a lit LED: bright, where an unlit LED and the panel around it are dark.
        int litPixels (const juce::Image& image, juce::Rectangle<int> area)
        {
            int count = 0;
            for (int y = area.getY(); y < area.getBottom(); ++y)
                for (int x = area.getX(); x < area.getRight(); ++x)
                    count += image.getPixelAt (x, y).getBrightness() > 0.6f ? 1 : 0;
            return count;
        }

        // Waits until the panel's header band is on screen. JUCE's host-side embedding of an LV2 window
        // can stay 1 x 1 pixel and hide the plug-in's window: a resize by the host makes it follow.
        juce::Image grabOnceShown (PluginHost& host, juce::Component& editor)
        {
            juce::Image shown;
            int polls = 0;
            host.pumpUntil (
                [&]
                {
                    shown = grabScreenArea (editor);
                    if (shown.isValid() && shown.getPixelAt (400, 70).getARGB() == 0xff2d7180u)
                        return true;
                    if (++polls % 50 == 0)
                    {
                        editor.setSize (editor.getWidth(), editor.getHeight() + 1);
                        editor.setSize (editor.getWidth(), editor.getHeight() - 1);
                    }
                    return false;
                },
                20000);
            return shown;
        }

        class WindowedEditorMetersHostTest : public EachFormat
        {
        };

        TEST_P (WindowedEditorMetersHostTest, MetersMoveWhileAudioPlays)
        {
            if (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isEmpty())
                GTEST_SKIP() << "needs an X display";

            constexpr double rate = 48000.0;
            constexpr int block = 512;
            auto plugin = loadFresh (format(), rate, block);
            ASSERT_NE (plugin, nullptr);
            const auto layout = prepareForDemo (*plugin, rate, block);
            ASSERT_TRUE (layout.has_value());
            setByName (*plugin, "Threshold", 0.4f);  // -30 dB: the demo's tone is reduced by far more than 1 dB

            // As a DAW does: a bare X server lacks atoms that JUCE asks for, and Xlib's default handler
            // would end the process on the first error.
            XSetErrorHandler ([] (Display*, XErrorEvent*) { return 0; });
            auto& host = sharedHost();
            std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
            ASSERT_NE (editor, nullptr);
            editor->setOpaque (true);
            editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
            editor->setTopLeftPosition (0, 0);
            editor->setVisible (true);
            // At the design size: the gain-reduction ladder and the MAX GR value below it.
            const juce::Rectangle<int> ladder { 131, 522, 496, 24 }, maxGrValue { 46, 559, 46, 24 };

            // The meters as the panel's timer shows them without audio (its LEDs start lit).
            ASSERT_TRUE (grabOnceShown (host, *editor).isValid());
            juce::Image idle;
            EXPECT_TRUE (host.pumpUntil ([&] { return litPixels (idle = grabScreenArea (*editor), ladder) == 0; }, 30000));

            // Two pictures while the demo plays, the second once the meters have moved on from the first.
            std::vector<juce::Image> playing;
            {
                RealTimeDemo demo (*plugin, *layout, rate, block);
                for (int i = 0; i < 2; ++i)
                {
                    juce::Image shot;
                    EXPECT_TRUE (host.pumpUntil (
                        [&]
                        {
                            shot = grabScreenArea (*editor);
                            return differingPixels (idle, shot, ladder) > 500 && differingPixels (idle, shot, maxGrValue) > 20
                                && (playing.empty() || differingPixels (playing.back(), shot, shot.getBounds()) > 0);
                        },
                        30000))
                        << "picture " << i + 1;
                    playing.push_back (shot);
                }
            }
            // As hosts close an editor: hidden, its pending messages delivered (nothing is checked
            // after them), the instance told.
            editor->setVisible (false);
            editor->removeFromDesktop();
            host.pumpMessages (50);
            plugin->editorBeingDeleted (editor.get());
            editor.reset();
            plugin->releaseResources();

            ASSERT_TRUE (idle.isValid());
            const auto folder = juce::File (BRISALTO_SNAPSHOT_DIR);
            for (size_t i = 0; i < playing.size(); ++i)
            {
                ASSERT_TRUE (playing[i].isValid());
                EXPECT_TRUE (writePng (playing[i],
                                       folder.getChildFile ("editor-meters-" + displayNameOf (format()).toLowerCase() + "-"
                                                            + juce::String ((int) i + 1) + ".png")));
            }

            // The ladder and the MAX GR value have changed.
            EXPECT_GT (differingPixels (idle, playing.back(), ladder), 500);
            EXPECT_GT (differingPixels (idle, playing.back(), maxGrValue), 20);
        }

        BRISALTO_FOR_EACH_FORMAT (WindowedEditorMetersHostTest);

    }  // namespace
}  // namespace brisalto::host::test
