#include "EditorSession.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <thread>

namespace juce
{
    // JUCE's Linux message queue: dispatches one pending message, or returns false when there is none.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace brisalto::host
{
    namespace
    {
        // Renders blocks of noise through the instance until stopped, as a DAW's audio thread does.
        class BlockRenderer
        {
        public:
            explicit BlockRenderer (juce::AudioPluginInstance& instance)
                : plugin (instance)
                , buffer (juce::jmax (instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels()),
                          juce::jmax (1, instance.getBlockSize()))
                , worker ([this] { run(); })
            {
            }

            ~BlockRenderer()
            {
                running = false;
                worker.join();
            }

            juce::int64 blocks() const noexcept { return rendered.load(); }

        private:
            void run()
            {
                juce::MidiBuffer midi;
                juce::Random random { 0x5eed };
                while (running)
                {
                    for (int c = 0; c < buffer.getNumChannels(); ++c)
                        for (int i = 0; i < buffer.getNumSamples(); ++i)
                            buffer.setSample (c, i, 0.5f * (random.nextFloat() - 0.5f));
                    midi.clear();
                    plugin.processBlock (buffer, midi);
                    ++rendered;
                }
            }

            juce::AudioPluginInstance& plugin;
            juce::AudioBuffer<float> buffer;
            std::atomic<bool> running { true };
            std::atomic<juce::int64> rendered { 0 };
            std::thread worker;
        };

        constexpr int shownTimeoutMilliseconds = 20000;
        constexpr int windowStyle = juce::ComponentPeer::windowHasTitleBar | juce::ComponentPeer::windowHasCloseButton;

        // Hides the window and delivers what is pending before the editor goes: JUCE's host-side
        // embedding of a plug-in's window answers some X events with calls posted to the message
        // thread that refer to itself, and these must not outlive it.
        void closeEditor (juce::AudioPluginInstance& instance, std::unique_ptr<juce::AudioProcessorEditor> editor)
        {
            editor->setVisible (false);
            editor->removeFromDesktop();
            for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}

            instance.editorBeingDeleted (editor.get());
            editor.reset();
        }
    }

    namespace
    {
        struct DisplayConnection
        {
            // Windows of other processes come and go between the calls that list and read them: an X
            // error about one that has gone must not end the process, as Xlib's default handler does.
            DisplayConnection()
                : display (XOpenDisplay (nullptr))
            {
                XSetErrorHandler ([] (Display*, XErrorEvent*) { return 0; });
            }
            ~DisplayConnection()
            {
                if (display != nullptr)
                    XCloseDisplay (display);
            }
            Display* const display;
        };

        // An area of a window as the X server shows it, its children's windows included.
        juce::Image grab (Display* display, Window window, juce::Rectangle<int> area)
        {
            auto* xImage = XGetImage (display, window, area.getX(), area.getY(), (unsigned) area.getWidth(),
                                      (unsigned) area.getHeight(), AllPlanes, ZPixmap);
            if (xImage == nullptr)
                return {};

            juce::Image image (juce::Image::RGB, area.getWidth(), area.getHeight(), false);
            for (int y = 0; y < area.getHeight(); ++y)
                for (int x = 0; x < area.getWidth(); ++x)
                    image.setPixelAt (x, y, juce::Colour ((juce::uint32) (XGetPixel (xImage, x, y) | 0xff000000u)));
            XDestroyImage (xImage);
            return image;
        }
    }

    juce::Image grabScreenArea (juce::Component& component)
    {
        DisplayConnection connection;
        auto* peer = component.getPeer();
        if (peer == nullptr || connection.display == nullptr)
            return {};

        // Physical pixels on the screen: the scale is 1 under Xvfb.
        return grab (connection.display, DefaultRootWindow (connection.display), peer->getBounds());
    }

    juce::Image grabWindowNamed (const juce::String& title)
    {
        DisplayConnection connection;
        if (connection.display == nullptr)
            return {};

        auto* display = connection.display;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        juce::Image image;
        if (XQueryTree (display, DefaultRootWindow (display), &root, &parent, &children, &count) == 0)
            return {};

        for (unsigned int i = 0; i < count && ! image.isValid(); ++i)
        {
            // JUCE writes the title as UTF-8 text, which XFetchName does not return.
            XTextProperty name {};
            XWindowAttributes attributes;
            if (XGetWMName (display, children[i], &name) != 0 && name.value != nullptr)
            {
                const auto text = juce::String::fromUTF8 ((const char*) name.value, (int) name.nitems);
                if (text == title && XGetWindowAttributes (display, children[i], &attributes) != 0
                    && attributes.map_state == IsViewable)
                    image = grab (display, children[i], { attributes.width, attributes.height });
                XFree (name.value);
            }
        }
        if (children != nullptr)
            XFree (children);
        return image;
    }

    bool writePng (const juce::Image& image, const juce::File& file)
    {
        if (! image.isValid())
            return false;

        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat png;
        return out.openedOk() && png.writeImageToStream (image, out);
    }

    EditorSessionReport runEditorSession (PluginHost& host, juce::AudioPluginInstance& instance, int cycles, int pumpMilliseconds,
                                          const std::function<bool (const juce::Image&)>& isShown)
    {
        // As a DAW does: Xlib's default handler would end the process on the first X error (a bare
        // X server without a window manager lacks atoms that JUCE asks for).
        XSetErrorHandler ([] (Display*, XErrorEvent*) { return 0; });

        EditorSessionReport report;
        BlockRenderer renderer (instance);

        for (int cycle = 0; cycle < cycles; ++cycle)
        {
            std::unique_ptr<juce::AudioProcessorEditor> editor (instance.createEditorIfNeeded());
            if (editor == nullptr)
            {
                report.error = "the plug-in opened no editor";
                break;
            }

            editor->setOpaque (true);
            editor->addToDesktop (windowStyle);
            editor->setTopLeftPosition (0, 0);
            editor->setVisible (true);
            host.pumpMessages (pumpMilliseconds);

            if (cycle == 0)
            {
                // The plug-in shows and paints its window on its own time. JUCE's host-side
                // embedding of an LV2 window can miss the plug-in's size and stay 1 x 1 pixel, which
                // hides the plug-in's window: a resize by the host gets it to follow again.
                report.editorBounds = editor->getBounds();
                int polls = 0;
                host.pumpUntil (
                    [&]
                    {
                        report.snapshot = grabScreenArea (*editor);
                        if (report.snapshot.isValid() && isShown (report.snapshot))
                            return true;
                        if (++polls % 50 == 0)
                        {
                            editor->setSize (report.editorBounds.getWidth(), report.editorBounds.getHeight() + 1);
                            editor->setSize (report.editorBounds.getWidth(), report.editorBounds.getHeight());
                        }
                        return false;
                    },
                    shownTimeoutMilliseconds);
            }

            closeEditor (instance, std::move (editor));
            ++report.cyclesCompleted;
        }

        report.blocksRendered = renderer.blocks();
        return report;
    }

}  // namespace brisalto::host
