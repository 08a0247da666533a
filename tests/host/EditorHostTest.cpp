// The plug-in's editor in a window of the host, as a DAW opens it, under an X display
// (xvfb-run): it shows the panel, and opening and closing it 50 times while a thread renders
// leaves the plug-in working. Without a display these tests are skipped.

#include "EditorSession.h"
#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        bool haveDisplay()
        {
            return juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isNotEmpty();
        }

        class WindowedEditorHostTest : public EachFormat
        {
        };

        TEST_P (WindowedEditorHostTest, OpensShowsAndClosesWhileRendering)
        {
            if (! haveDisplay())
                GTEST_SKIP() << "needs an X display";

            auto plugin = loadFresh (format(), 48000.0, 512);
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 512);

            // Shown once the panel's header band and background are on screen.
            const auto showsPanel = [] (const juce::Image& image) {
                return image.getPixelAt (400, 70).getARGB() == 0xff2d7180u && image.getPixelAt (10, 300).getARGB() == 0xff2c2c30u;
            };
            const auto report = runEditorSession (sharedHost(), *plugin, 50, 20, showsPanel);
            EXPECT_EQ (report.error, "");
            EXPECT_EQ (report.cyclesCompleted, 50);
            EXPECT_GT (report.blocksRendered, 0);
            EXPECT_EQ (report.editorBounds.getWidth(), 800);
            EXPECT_EQ (report.editorBounds.getHeight(), 600);

            // Left in the build folder for a person to look at.
            const auto file =
                juce::File (BRISALTO_SNAPSHOT_DIR).getChildFile ("editor-" + displayNameOf (format()).toLowerCase() + ".png");
            ASSERT_TRUE (report.snapshot.isValid());
            EXPECT_TRUE (writePng (report.snapshot, file)) << file.getFullPathName();

            EXPECT_TRUE (showsPanel (report.snapshot));

            processBlocks (*plugin, 4);
            plugin->releaseResources();
        }

        BRISALTO_FOR_EACH_FORMAT (WindowedEditorHostTest);

        int pixelsOfColour (const juce::Image& image, juce::uint32 argb)
        {
            int count = 0;
            for (int y = 0; y < image.getHeight(); ++y)
                for (int x = 0; x < image.getWidth(); ++x)
                    count += image.getPixelAt (x, y).getARGB() == argb ? 1 : 0;
            return count;
        }

        TEST (WindowedEditorStandalone, StartsAndShowsTheEditor)
        {
            if (! haveDisplay())
                GTEST_SKIP() << "needs an X display";

            juce::ChildProcess app;
            ASSERT_TRUE (app.start (juce::StringArray { BRISALTO_STANDALONE }, 0));

            // Shown once the header band of the panel is on screen (800 x 80 at the design size).
            juce::Image shown;
            sharedHost().pumpUntil (
                [&]
                {
                    shown = grabWindowNamed ("Brisalto");
                    return shown.isValid() && pixelsOfColour (shown, 0xff2d7180u) > 800 * 60;
                },
                30000);
            const bool running = app.isRunning();
            app.kill();

            EXPECT_TRUE (running);
            ASSERT_TRUE (shown.isValid()) << "no window named Brisalto";
            EXPECT_GT (pixelsOfColour (shown, 0xff2d7180u), 800 * 60);
            EXPECT_GT (pixelsOfColour (shown, 0xff2c2c30u), 800 * 200);
            writePng (shown, juce::File (BRISALTO_SNAPSHOT_DIR).getChildFile ("editor-standalone.png"));
        }

    }  // namespace
}  // namespace brisalto::host::test
