#include "common/MidiTestSupport.h"
#include "common/WaitUntil.h"
#include "RenderLoopTestSupport.h"

#include "platform/Log.h"
#include "processor/midi/MidiSettings.h"
#include "processor/midi/PresetSelection.h"

#include <gtest/gtest.h>

#include <set>

using brisalto::platform::midi::Packet;

namespace
{
    struct LogCapture final : brisalto::platform::log::Sink
    {
        LogCapture() { brisalto::platform::log::setSink (this); }
        ~LogCapture() override { brisalto::platform::log::setSink (nullptr); }
        void write (int, const char* text, bool) override
        {
            std::lock_guard<std::mutex> lock (mutex);
            lines.emplace_back (text);
        }
        bool contains (const std::string& part)
        {
            brisalto::platform::log::flush();
            std::lock_guard<std::mutex> lock (mutex);
            return std::any_of (lines.begin(), lines.end(),
                                [&] (const std::string& l) { return l.find (part) != std::string::npos; });
        }
        std::mutex mutex;
        std::vector<std::string> lines;
    };
}

TEST (MidiPresetSelection, ByIndexAndByTag)
{
    const std::set<juce::String> plain { "Alpha", "Beta", "Gamma" };
    // In set order: upper case first, so "B.midi4" comes before "a.midi4".
    const char* dotless = "Dotless.midi6.m\xc4\xb1"
                          "d\xc4\xb1"
                          "9";  // dotless i: no ASCII "i"
    const std::set<juce::String> tagged { "Soft.midi5",
                                          "Hard.midi12",
                                          "x.midi",
                                          "Pad.midiX",
                                          "Kick.midi7b",
                                          "a.midi1.MIDI3",
                                          "Lead.MIDI3",
                                          "Long.midi99999999999999999999",
                                          "Four.midi0012",
                                          "Zero.midi000",
                                          "B.midi4",
                                          "a.midi4",
                                          juce::String::fromUTF8 (dotless) };
    struct Case
    {
        int mode, program;
        const std::set<juce::String>& names;
        const char* expected;
    };
    const Case cases[] = {
        { 1, 0, plain, "Alpha" },
        { 1, 2, plain, "Gamma" },
        { 1, 3, plain, "" },
        { 1, -1, plain, "" },
        { 0, 0, plain, "" },
        { 2, 5, tagged, "Soft.midi5" },
        { 2, 12, tagged, "Hard.midi12" },
        { 2, 7, tagged, "Kick.midi7b" },
        { 2, 3, tagged, "a.midi1.MIDI3" },
        { 2, 1, tagged, "" },              // the last tag counts
        { 2, 0, tagged, "Zero.midi000" },  // "Pad.midiX" and "x.midi" never match
        { 2, 4, tagged, "B.midi4" },       // the first in set order
        { 2, 6, tagged, dotless },         // case is folded for ASCII only
        { 2, 99, tagged, "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (brisalto::midi_remote::selectPresetForProgramChange (c.mode, c.program, c.names),
                   juce::String::fromUTF8 (c.expected))
            << c.mode << " " << c.program;

    // "Lead.MIDI3" has no exact ".midi"; long and four-digit tags are no number at all.
    for (const char* name : { "Lead.MIDI3", "Long.midi99999999999999999999", "Four.midi0012", "x.midi", "Pad.midiX" })
        EXPECT_EQ (brisalto::midi_remote::midiTagNumber (name), -1) << name;

    const std::vector<juce::String> list { "One", "Two" };
    EXPECT_EQ (brisalto::midi_remote::selectPresetForProgramChange (1, 1, list), "Two");
}

TEST (MidiFilter, ProgramChangesAndNoteOnsEachByTheirOwnChannel)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    struct Case
    {
        int mode, programChannel, sideChannel;
        Packet message;
        bool programTaken;
        int velocity;
    };
    const Case cases[] = {
        { 1, -1, 3, { 0xC0, 4, 9, 0 }, true, 0 },
        { 1, 4, 3, { 0xC0, 4, 9, 0 }, true, 0 },
        { 2, 5, 4, { 0xC0, 4, 9, 0 }, false, 0 },      // another program-change channel
        { 0, -1, -1, { 0xC0, 4, 9, 0 }, false, 0 },    // mode off
        { 0, 4, -1, { 0x90, 4, 60, 77 }, false, 77 },  // velocities are stored with the mode off
        { 1, 4, 3, { 0x90, 4, 60, 77 }, false, 0 },    // note-ons follow the side channel only
        { 1, 4, 4, { 0x90, 4, 60, 0 }, false, 0 },
        { 1, -1, -1, { 0x80, 4, 60, 77 }, false, 0 },
        // Values no MIDI byte can hold are dropped.
        { 1, -1, -1, { 0xC0, 4, -1, 0 }, false, 0 },
        { 1, -1, -1, { 0xC0, 16, 3, 0 }, false, 0 },
        { 1, -1, -1, { 0xC0, -1, 3, 0 }, false, 0 },
        { 1, -1, -1, { 0x90, 0, 60, 200 }, false, 0 },
        { 1, -1, -1, { 0xC4, 0, 3, 0 }, false, 0 },
    };
    for (const auto& c : cases)
    {
        p.midi_progr_change_mode = c.mode;
        p.midi_progr_change_channel = c.programChannel;
        p.midiSideChan = c.sideChannel;
        p.mMidiSideVelocity = 0;
        int channel = -1, program = -1;
        p.mProgramChangeSlot.take (channel, program);

        p.midiReceiveCallback (c.message.status, c.message.channel, c.message.data1, c.message.data2);
        EXPECT_EQ (p.mProgramChangeSlot.take (channel, program), c.programTaken) << &c - cases;
        if (c.programTaken)
        {
            EXPECT_EQ (program, c.message.data1);
        }
        EXPECT_EQ (p.mMidiSideVelocity.load(), c.velocity) << &c - cases;
    }
}

//==============================================================================
class MidiRemote : public ::testing::Test
{
protected:
    ScopedXdgFolders folders;
    ScopedMidiSystem midi;
    TestMessageThread messageThread;
    std::unique_ptr<BrisaltoAudioProcessor> p;

    brisalto::platform::midi::InProcessMidiSystem& system() { return *midi.system; }
    void make()
    {
        messageThread.run ([this] { p = std::make_unique<BrisaltoAudioProcessor>(); });
    }
    void enable()
    {
        messageThread.run ([this] { p->enableMidiReceive(); });
    }
    void TearDown() override
    {
        messageThread.run ([this] { p.reset(); });
    }
};

TEST_F (MidiRemote, EnablingMakesOneClientPortAndDestinationAndConnectsEachSourceOnce)
{
    const auto keys = system().addSource ("Keys");
    const auto unnamed = system().addSource ("", false);
    const auto own = system().addSource ("Own", true, true);
    make();
    EXPECT_EQ (system().createClientCalls(), 0);

    enable();
    enable();
    EXPECT_EQ (system().clientNames(), std::vector<std::string> { "Brisaltoclient" });
    EXPECT_EQ (system().portNames(), (std::vector<std::string> { "BrisaltoIn Port", "BrisaltoDest" }));
    EXPECT_EQ (system().connectionCountOf (keys), 1);
    EXPECT_EQ (system().connectionCountOf (unnamed), 0);
    EXPECT_EQ (system().connectionCountOf (own), 0);
}

TEST_F (MidiRemote, WhatFailedIsMadeByTheNextCallAndNothingTwice)
{
    const auto keys = system().addSource ("Keys");
    make();

    system().failNextClients (1);
    enable();
    EXPECT_EQ (system().clientCount(), 0);

    system().failNextInputPorts (1);
    enable();
    EXPECT_EQ (system().inputPortCount(), 0);
    EXPECT_EQ (system().destinationCount(), 1);
    EXPECT_EQ (system().connectionCountOf (keys), 0);

    system().failNextDestinations (1);  // nothing is missing: nothing is asked for
    enable();
    enable();
    EXPECT_EQ (system().createClientCalls(), 2);
    EXPECT_EQ (system().inputPortCount(), 1);
    EXPECT_EQ (system().destinationCount(), 1);
    EXPECT_EQ (system().connectionCountOf (keys), 1);
}

TEST_F (MidiRemote, HostOnlyShutsTheOwnClientOffAndSwitchingBackReconnects)
{
    const auto keys = system().addSource ("Keys");
    make();
    enable();

    // Hot-plug while listening.
    const auto late = system().addSource ("Late");
    messageThread.sync();
    EXPECT_EQ (system().connectionCountOf (late), 1);

    // The flag alone stops delivery at once, before any disconnect ran.
    p->midi_receive_from_DAW = 1;
    EXPECT_EQ (system().sendFromSource (keys, noteOn (0, 60, 90)), 1);
    EXPECT_TRUE (system().sendToDestination (system().destinations().at (0), noteOn (0, 60, 91)));
    EXPECT_EQ (p->mMidiSideVelocity.load(), 0);

    messageThread.run ([this] { p->setMidiReceiveFromHost (true); });
    const auto later = system().addSource ("Later");
    messageThread.sync();
    EXPECT_TRUE (system().connections().empty());

    messageThread.run ([this] { p->setMidiReceiveFromHost (false); });
    for (const auto source : { keys, late, later })
        EXPECT_EQ (system().connectionCountOf (source), 1);
    system().sendFromSource (later, noteOn (0, 60, 92));
    EXPECT_EQ (p->mMidiSideVelocity.load(), 92);
}

TEST_F (MidiRemote, ABurstLoadsOnePresetTheLastAndAPendingOneDiesWithItsProcessor)
{
    const auto keys = system().addSource ("Keys");
    make();
    messageThread.run (
        [this]
        {
            for (int i = 0; i < 128; ++i)
                p->mUserPresetNames.insert (juce::String::formatted ("P%03d", i));
            p->midi_progr_change_mode = 1;
            p->enableMidiReceive();
        });

    {
        TestMessageThread::Block busy (messageThread);
        for (int i = 0; i < 100; ++i)
            system().sendFromSource (keys, programChange (0, i));
    }
    messageThread.sync();
    EXPECT_EQ (p->mProgramChangeLoads.load(), 1);
    EXPECT_EQ (p->mLastProgramChangePreset, "P099");

    // By tag: the destination delivers too.
    messageThread.run (
        [this]
        {
            p->mUserPresetNames.insert ("Hard.midi12");
            p->midi_progr_change_mode = 2;
        });
    system().sendToDestination (system().destinations().at (0), programChange (3, 12));
    messageThread.sync();
    EXPECT_EQ (p->mLastProgramChangePreset, "Hard.midi12");

    // A step posted for a processor that is destroyed before it runs is dropped.
    LogCapture log;
    {
        TestMessageThread::Block busy (messageThread);
        system().sendFromSource (keys, programChange (0, 40));
        p.reset();  // off the message thread, as some hosts do
        EXPECT_EQ (system().clientCount(), 0);
        EXPECT_EQ (system().sendFromSource (keys, programChange (0, 41)), 0);
    }
    messageThread.sync();
    EXPECT_FALSE (log.contains ("Program Change"));
}

TEST_F (MidiRemote, RestoresPostTheirMidiWorkAndAPresetFromAControllerKeepsIt)
{
    // A default preset that wants MIDI by tag: the constructor makes no client, the posted step does.
    ASSERT_TRUE (folders.presetFolder().createDirectory());
    ASSERT_TRUE (
        folders.presetFolder().getChildFile ("BrisaltoDefault.json").replaceWithText ("{ \"midi_progr_change_mode\": 2 }"));
    const char* hostOnlyChunk = "{ \"midi_receive_from_DAW\": 1, \"midi_progr_change_mode\": 1, \"Threshold\": 0.25 }";
    ASSERT_TRUE (folders.presetFolder().getChildFile ("Host.midi3.json").replaceWithText (hostOnlyChunk));
    const auto keys = system().addSource ("Keys");
    messageThread.run (
        [this]
        {
            p = std::make_unique<BrisaltoAudioProcessor>();
            EXPECT_EQ (system().clientCount(), 0);
        });
    messageThread.sync();
    EXPECT_EQ (system().connectionCountOf (keys), 1);

    // Chosen from the controller, the preset that says "MIDI from the host" leaves it off.
    system().sendFromSource (keys, programChange (0, 3));
    messageThread.sync();
    EXPECT_EQ (p->getCurrentUserPreset(), "Host.midi3");
    EXPECT_NEAR (p->getParameter (0), 0.25f, 1.0e-6f);
    EXPECT_EQ (p->midi_receive_from_DAW.load(), 0);
    EXPECT_EQ (p->midi_progr_change_mode.load(), 2);
    EXPECT_EQ (system().connectionCountOf (keys), 1);

    // The host's own restore, from a thread of its own: in effect at once, disconnected later.
    p->setStateInformation (hostOnlyChunk, (int) std::strlen (hostOnlyChunk));
    EXPECT_EQ (p->midi_receive_from_DAW.load(), 1);
    messageThread.sync();
    EXPECT_EQ (system().connectionCountOf (keys), 0);
}

TEST_F (MidiRemote, HostProgramChangesAreTakenByTheTimerAndOwnVelocitiesReachTheSideDetector)
{
    std::unique_ptr<RenderHarness> harness;
    messageThread.run ([&harness] { harness = std::make_unique<RenderHarness>(); });
    auto& h = *harness;
    ASSERT_TRUE (h.configure (1, 1, 0, 256));
    const auto keys = system().addSource ("Keys");
    h.p.mixMode = (int) MixMode::sideMidi;
    h.p.enableMidiReceive();  // from this thread: posted
    messageThread.sync();

    system().sendFromSource (keys, noteOn (0, 60, 127));
    h.render ({ Signal (256, 0.0f) }, {}, { 256 });
    const auto& element =
        h.p.mRingBuffer[(size_t) ((h.p.mRingWriteIndex + (int) h.p.mRingBuffer.size() - 1) % (int) h.p.mRingBuffer.size())];
    EXPECT_EQ (element.mSamples[256], 1.0f);
    EXPECT_EQ (element.mSamples[257], 0.0f);

    messageThread.run (
        [&h]
        {
            h.p.mUserPresetNames.insert ("Soft.midi5");
            h.p.midi_progr_change_mode = 2;
            h.p.setMidiReceiveFromHost (true);
        });
    h.render ({ Signal (256, 0.0f) }, {}, { 256 }, false,
              [] (int, juce::MidiBuffer& m) { m.addEvent (juce::MidiMessage::programChange (1, 5), 0); });
    waitUntil ([&h] { return h.p.mProgramChangeLoads.load() != 0; }, 30000);
    messageThread.run (
        [&harness]
        {
            EXPECT_EQ (harness->p.mLastProgramChangePreset, "Soft.midi5");
            harness.reset();
        });
}

// Remembers on which thread, and whether inside a restore, each write came.
struct WriteRecordingDefaults final : brisalto::platform::UserDefaults
{
    int64_t integerForKey (const juce::String& key) override { return values.integerForKey (key); }
    std::optional<int64_t> lookUpInteger (const juce::String& key) override { return values.lookUpInteger (key); }
    void setInteger (const juce::String& key, int64_t value) override
    {
        record();
        values.setInteger (key, value);
    }
    void writeBackInteger (const juce::String& key, int64_t value) override
    {
        record();
        values.setInteger (key, value);
    }

    void record()
    {
        std::lock_guard<std::mutex> lock (mutex);
        writers.push_back ({ std::this_thread::get_id(), restoring.load() });
    }
    size_t count()
    {
        std::lock_guard<std::mutex> lock (mutex);
        return writers.size();
    }

    struct Write
    {
        std::thread::id thread;
        bool duringRestore;
    };
    std::mutex mutex;
    std::vector<Write> writers;
    std::atomic<bool> restoring { false };
    brisalto::platform::InMemoryUserDefaults values;
};

TEST_F (MidiRemote, RestoredModeIsWrittenBackLaterOnTheMessageThread)
{
    auto defaults = std::make_shared<WriteRecordingDefaults>();
    brisalto::platform::UserDefaults::setStandard (defaults);
    make();
    std::thread::id messageThreadId;
    messageThread.run ([&messageThreadId] { messageThreadId = std::this_thread::get_id(); });

    const auto restoreWithMode = [&] (int mode)
    {
        const auto chunk = "{\"midi_progr_change_mode\": " + std::to_string (mode) + "}";
        defaults->restoring = true;
        p->setStateInformation (chunk.data(), (int) chunk.size());
        defaults->restoring = false;
    };
    // From a host thread, then from the message thread itself.
    restoreWithMode (1);
    messageThread.run ([&] { restoreWithMode (2); });
    waitUntil ([&]
               { return defaults->values.lookUpInteger (brisalto::midi_remote::progChangeModeKey) == std::optional<int64_t> (2); },
               30000);
    messageThread.sync();
    EXPECT_EQ (defaults->values.lookUpInteger (brisalto::midi_remote::progChangeModeKey), std::optional<int64_t> (2));

    std::lock_guard<std::mutex> lock (defaults->mutex);
    ASSERT_FALSE (defaults->writers.empty());
    for (const auto& write : defaults->writers)
    {
        EXPECT_EQ (write.thread, messageThreadId);
        EXPECT_FALSE (write.duringRestore);
    }
}

TEST_F (MidiRemote, StandaloneStartUpTakesTheStoredSettingsWritesTheModeBackAndEnables)
{
    system().addSource ("Keys");
    struct Case
    {
        std::optional<int64_t> mode, channel;
        int32_t expectedMode, expectedChannel;
        int clients;
    };
    const Case cases[] = {
        { 1, std::nullopt, 1, -1, 1 },
        { 7, (int64_t) 1 << 33, 0, -1, 0 },
        { 2, 15, 2, 15, 1 },
        { std::nullopt, -2, 0, -1, 0 },
    };
    for (const auto& c : cases)
    {
        midi.defaults = std::make_shared<brisalto::platform::InMemoryUserDefaults>();
        brisalto::platform::UserDefaults::setStandard (midi.defaults);
        if (c.mode)
            midi.defaults->setInteger (brisalto::midi_remote::progChangeModeKey, *c.mode);
        if (c.channel)
            midi.defaults->setInteger (brisalto::midi_remote::channelKey, *c.channel);

        messageThread.run (
            [this]
            {
                juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Standalone);
                p = std::make_unique<BrisaltoAudioProcessor>();
                juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
            });
        EXPECT_EQ (p->midi_progr_change_mode.load(), c.expectedMode);
        EXPECT_EQ (p->midi_progr_change_channel.load(), c.expectedChannel);
        messageThread.sync();
        EXPECT_EQ (midi.defaults->lookUpInteger (brisalto::midi_remote::progChangeModeKey),
                   std::optional<int64_t> (c.expectedMode));
        EXPECT_EQ (system().clientCount(), c.clients);
        messageThread.run ([this] { p.reset(); });
    }
}
