// A sender floods the own MIDI client with program changes and note-ons, sources come and go,
// while the message thread makes processors, enables their MIDI, switches "MIDI from the host"
// on and off, restores states from another thread and destroys processors (also off the message
// thread). Built with ThreadSanitizer or AddressSanitizer this must run without a report.

#include "common/MidiTestSupport.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

TEST (MidiFlood, SenderFloodsWhileProcessorsComeSwitchAndGo)
{
    ScopedXdgFolders folders;
    ScopedMidiSystem midi;
    TestMessageThread messageThread;
    auto& system = *midi.system;
    const auto keys = system.addSource ("Keys");

    std::atomic<bool> running { true };
    std::thread sender (
        [&]
        {
            for (int i = 0; running; ++i)
            {
                system.sendFromSource (keys, programChange (i % 16, i % 128));
                system.sendFromSource (keys, noteOn (i % 16, 60, i % 128));
                for (const auto destination : system.destinations())
                    system.sendToDestination (destination, programChange (0, (i * 7) % 128));
            }
        });
    std::thread plugger (
        [&]
        {
            while (running)
            {
                system.removeSource (system.addSource ("Hot-plugged"));
                std::this_thread::yield();
            }
        });

    const char* hostOnly = "{ \"midi_receive_from_DAW\": 1, \"midi_progr_change_mode\": 1 }";
    const char* ownMidi = "{ \"midi_receive_from_DAW\": 0, \"midi_progr_change_mode\": 2 }";
    std::deque<std::unique_ptr<BrisaltoAudioProcessor>> alive;
    for (int round = 0; round < 150; ++round)
    {
        messageThread.run (
            [&]
            {
                auto p = std::make_unique<BrisaltoAudioProcessor>();
                for (int k = 0; k < 20; ++k)
                    p->mUserPresetNames.insert (juce::String::formatted ("Preset.midi%d", k));
                p->midi_progr_change_mode = 1 + round % 2;
                p->enableMidiReceive();
                alive.push_back (std::move (p));
                for (auto& q : alive)
                {
                    q->setMidiReceiveFromHost (true);
                    q->setMidiReceiveFromHost (false);
                    q->enableMidiReceive();
                }
            });

        // A host restoring state on a thread of its own.
        auto& newest = *alive.back();
        std::thread restorer (
            [&newest, round, hostOnly, ownMidi]
            {
                const char* text = round % 3 == 0 ? hostOnly : ownMidi;
                newest.setStateInformation (text, (int) std::strlen (text));
            });
        restorer.join();

        if (alive.size() > 3)
        {
            if (round % 2 == 0)
                messageThread.run ([&] { alive.pop_front(); });
            else
                alive.pop_front();  // off the message thread
        }
    }

    messageThread.run ([&] { alive.clear(); });
    running = false;
    sender.join();
    plugger.join();
    messageThread.sync();
    EXPECT_EQ (system.clientCount(), 0);
}
