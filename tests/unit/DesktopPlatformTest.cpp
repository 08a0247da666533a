#include "platform/BundleResources.h"
#include "platform/DesktopLauncher.h"
#include "common/FakeXdgOpen.h"
#include "common/WaitUntil.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using brisalto::platform::bundle::Format;

namespace
{
    struct TempFolder
    {
        TempFolder()
            : root (juce::File::createTempFile ("brisalto-desktop"))
        {
            root.createDirectory();
        }
        ~TempFolder() { root.deleteRecursively(); }
        juce::File make (const juce::String& relative) const
        {
            auto folder = root.getChildFile (relative);
            folder.createDirectory();
            return folder;
        }
        juce::File root;
    };
}

TEST (BundleResources, FolderForEachFormatOnFakeTrees)
{
    TempFolder trees;
    const auto vst3 = trees.make ("plugins/Brisalto.vst3/Contents/x86_64-linux").getChildFile ("Brisalto.so");
    const auto lv2 = trees.make ("lv2/Brisalto.lv2").getChildFile ("Brisalto.so");
    const auto built = trees.make ("build/Standalone").getChildFile ("Brisalto");
    const auto installed = trees.make ("home/.local/bin").getChildFile ("Brisalto");
    trees.make ("home/.local/share/brisalto/Resources");

    const struct
    {
        Format format;
        juce::File binary;
        const char* expected;
    } cases[] = {
        { Format::vst3, vst3, "plugins/Brisalto.vst3/Contents/Resources" },
        { Format::lv2, lv2, "lv2/Brisalto.lv2/Resources" },
        { Format::standalone, built, "build/Standalone/Resources" },
        { Format::standalone, installed, "home/.local/share/brisalto/Resources" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (brisalto::platform::bundle::resourcesFolderFor (c.format, c.binary).getFullPathName(),
                   trees.root.getChildFile (c.expected).getFullPathName())
            << c.expected;
}

TEST (BundleResources, RunningCodeIsFoundFromItsOwnBinary)
{
    // Linked into this test program: the binary is the executable, whatever the working folder.
    const auto exe = juce::File ("/proc/self/exe").getLinkedTarget();
    TempFolder elsewhere;
    const auto previous = juce::File::getCurrentWorkingDirectory();
    elsewhere.root.setAsCurrentWorkingDirectory();
    EXPECT_EQ (brisalto::platform::bundle::codeBinary(), exe);
    EXPECT_EQ (brisalto::platform::bundle::helpDocument (Format::lv2), exe.getSiblingFile ("Resources/BrisaltoHelp.pdf"));
    previous.setAsCurrentWorkingDirectory();
}

TEST (DesktopLauncher, PassesAnAwkwardPathVerbatimWithoutAShell)
{
    FakeXdgOpen xdgOpen;
    TempFolder folder;
    const auto help = folder.make ("it's a $(touch pwned) `touch pwned2` folder").getChildFile ("Brisalto Help.pdf");

    // A descriptor the host left open without close-on-exec.
    const int hostFile = ::dup2 (::open ("/dev/null", O_RDONLY), 77);
    ASSERT_EQ (hostFile, 77);

    // A shell would run the substitutions in the working folder.
    const auto previous = juce::File::getCurrentWorkingDirectory();
    folder.root.setAsCurrentWorkingDirectory();
    ASSERT_TRUE (brisalto::platform::desktop::open (help.getFullPathName()));
    // The child that started it is reaped, and the program itself is not our child.
    EXPECT_EQ (::waitpid (-1, nullptr, WNOHANG), -1);
    const auto arguments = xdgOpen.waitForArguments();
    previous.setAsCurrentWorkingDirectory();

    EXPECT_EQ (arguments, "1\n" + help.getFullPathName() + "\n");
    EXPECT_FALSE (folder.root.getChildFile ("pwned").exists());
    EXPECT_FALSE (folder.root.getChildFile ("pwned2").exists());
    EXPECT_FALSE (xdgOpen.descriptors().contains ("77")) << xdgOpen.descriptors().joinIntoString (" ");
    EXPECT_TRUE (xdgOpen.descriptors().contains ("2"));
    ::close (hostFile);
}

// The watched launch reports xdg-open's exit status without blocking, and hands it none of the
// caller's descriptors either.
TEST (DesktopLauncher, WatchedLaunchTellsWhetherAProgramOpenedIt)
{
    const int hostFile = ::dup2 (::open ("/dev/null", O_RDONLY), 77);
    ASSERT_EQ (hostFile, 77);
    using State = brisalto::platform::desktop::Outcome::State;
    for (const auto& [exitCode, expected] :
         { std::pair (0, State::opened), std::pair (3, State::failed), std::pair (4, State::failed) })
    {
        SCOPED_TRACE (exitCode);
        FakeXdgOpen xdgOpen (true, exitCode);
        const auto outcome = brisalto::platform::desktop::openWatched ("https://kestrom.example");
        ASSERT_NE (outcome, nullptr);
        auto state = State::pending;
        waitUntil ([&] { return (state = outcome->poll()) != State::pending; }, 30000);
        EXPECT_EQ (state, expected);
        EXPECT_EQ (xdgOpen.waitForArguments(), "1\nhttps://kestrom.example\n");
        EXPECT_FALSE (xdgOpen.descriptors().contains ("77")) << xdgOpen.descriptors().joinIntoString (" ");
        EXPECT_EQ (::waitpid (-1, nullptr, WNOHANG), -1);
    }
    ::close (hostFile);

    FakeXdgOpen none (false);
    EXPECT_EQ (brisalto::platform::desktop::openWatched ("https://kestrom.example"), nullptr);
}

TEST (DesktopLauncher, FalseWithoutXdgOpen)
{
    FakeXdgOpen none (false);
    EXPECT_EQ (brisalto::platform::desktop::findXdgOpen(), "");
    EXPECT_FALSE (brisalto::platform::desktop::open ("https://kestrom.example"));
}

// The Standalone's audio settings list JACK (and so PipeWire's JACK) beside ALSA: the device
// types come from the same code the Standalone links.
TEST (StandaloneAudio, DeviceTypesIncludeJackBesideAlsa)
{
    juce::AudioDeviceManager manager;
    juce::OwnedArray<juce::AudioIODeviceType> types;
    manager.createAudioDeviceTypes (types);

    juce::StringArray names;
    for (auto* type : types)
        names.add (type->getTypeName());
    EXPECT_TRUE (names.contains ("ALSA")) << names.joinIntoString (", ").toStdString();
    EXPECT_TRUE (names.contains ("JACK")) << names.joinIntoString (", ").toStdString();
}
