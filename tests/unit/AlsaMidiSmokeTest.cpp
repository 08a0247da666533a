// The ALSA sequencer backend against a real sequencer. Where none can be opened (no
// /dev/snd/seq, as on build machines and in containers) the test is skipped, not passed.

#include "common/MidiTestSupport.h"
#include "common/TestSupport.h"
#include "common/WaitUntil.h"
#include "platform/MidiSystemAlsa.h"
#include "platform/MidiSystemAlsaEvents.h"
#include "processor/midi/MidiWrapper.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <functional>

namespace
{
    // Another program's sequencer client, sending as a controller would.
    struct OtherClient
    {
        OtherClient() { snd_seq_open (&seq, "default", SND_SEQ_OPEN_DUPLEX, 0); }
        ~OtherClient()
        {
            if (seq != nullptr)
                snd_seq_close (seq);
        }

        int makeSourcePort (const char* name)
        {
            return snd_seq_create_simple_port (seq, name, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                               SND_SEQ_PORT_TYPE_MIDI_GENERIC);
        }

        void send (int port, const std::function<void (snd_seq_event_t&)>& fill, int destClient = -1, int destPort = -1)
        {
            snd_seq_event_t ev;
            snd_seq_ev_clear (&ev);
            snd_seq_ev_set_source (&ev, port);
            if (destClient >= 0)
                snd_seq_ev_set_dest (&ev, destClient, destPort);
            else
                snd_seq_ev_set_subs (&ev);
            snd_seq_ev_set_direct (&ev);
            fill (ev);
            snd_seq_event_output_direct (seq, &ev);
        }

        // The port of a client called clientName that is called portName, -1 when none.
        int findPort (int client, const char* portName)
        {
            snd_seq_port_info_t* info = nullptr;
            snd_seq_port_info_alloca (&info);
            snd_seq_port_info_set_client (info, client);
            snd_seq_port_info_set_port (info, -1);
            while (snd_seq_query_next_port (seq, info) >= 0)
                if (std::string (snd_seq_port_info_get_name (info)) == portName)
                    return snd_seq_port_info_get_port (info);
            return -1;
        }

        std::string clientName (int client)
        {
            snd_seq_client_info_t* info = nullptr;
            snd_seq_client_info_alloca (&info);
            return snd_seq_get_any_client_info (seq, client, info) >= 0 ? snd_seq_client_info_get_name (info) : "";
        }

        snd_seq_t* seq = nullptr;
    };
}

TEST (AlsaMidi, EventsBecomeOneMessageEachAndOutOfRangeValuesAreDropped)
{
    struct Case
    {
        std::function<void (snd_seq_event_t&)> fill;
        bool taken;
        brisalto::platform::midi::Packet packet;
        bool valid;
    };
    const Case cases[] = {
        { [] (auto& e) { snd_seq_ev_set_noteon (&e, 3, 60, 100); }, true, { 0x90, 3, 60, 100 }, true },
        { [] (auto& e) { snd_seq_ev_set_pgmchange (&e, 15, 127); }, true, { 0xC0, 15, 127, 0 }, true },
        { [] (auto& e) { snd_seq_ev_set_pgmchange (&e, 0, -5); }, true, { 0xC0, 0, -5, 0 }, false },
        { [] (auto& e) { snd_seq_ev_set_pgmchange (&e, 0, 128); }, true, { 0xC0, 0, 128, 0 }, false },
        { [] (auto& e) { snd_seq_ev_set_noteon (&e, 16, 60, 100); }, true, { 0x90, 16, 60, 100 }, false },
        { [] (auto& e) { snd_seq_ev_set_controller (&e, 1, 7, 100); }, true, { 0xB0, 1, 7, 100 }, true },
        { [] (auto& e) { snd_seq_ev_set_pitchbend (&e, 2, 8191); }, true, { 0xE0, 2, 127, 127 }, true },
        { [] (auto& e) { snd_seq_ev_set_pitchbend (&e, 2, -8192); }, true, { 0xE0, 2, 0, 0 }, true },
        { [] (auto& e) { snd_seq_ev_set_pitchbend (&e, 2, 9000); }, true, { 0xE0, 2, -1, -1 }, false },
        { [] (auto& e) { e.type = SND_SEQ_EVENT_START; }, false, {}, false },
    };
    for (const auto& c : cases)
    {
        snd_seq_event_t event;
        snd_seq_ev_clear (&event);
        c.fill (event);
        brisalto::platform::midi::Packet p;
        ASSERT_EQ (brisalto::platform::midi::packetOfEvent (event, p), c.taken) << &c - cases;
        if (! c.taken)
            continue;
        EXPECT_EQ (std::make_tuple (p.status, p.channel, p.data1, p.data2),
                   std::make_tuple (c.packet.status, c.packet.channel, c.packet.data1, c.packet.data2))
            << &c - cases;
        EXPECT_EQ (MIDI_WRAPPER::isValidMessage (p.status, p.channel, p.data1, p.data2), c.valid) << &c - cases;
    }
}

TEST (AlsaMidi, ClientPortsDestinationHotPlugAndDisposal)
{
    if (! brisalto::platform::midi::AlsaMidiSystem::sequencerAvailable())
        GTEST_SKIP() << "no ALSA sequencer can be opened here; the in-process MIDI system covers the logic";

    ScopedXdgFolders folders;
    auto alsa = std::make_shared<brisalto::platform::midi::AlsaMidiSystem>();
    brisalto::platform::midi::MidiSystem::setStandard (alsa);
    TestMessageThread messageThread;
    OtherClient other;
    ASSERT_NE (other.seq, nullptr);
    const int controller = other.makeSourcePort ("Controller");

    std::unique_ptr<BrisaltoAudioProcessor> p;
    messageThread.run (
        [&]
        {
            p = std::make_unique<BrisaltoAudioProcessor>();
            p->mUserPresetNames = { "A", "B", "C" };
            p->midi_progr_change_mode = 1;
            p->enableMidiReceive();
        });

    const int own = alsa->sequencerClientId();
    ASSERT_GE (own, 0);
    EXPECT_EQ (other.clientName (own), "Brisaltoclient");
    EXPECT_GE (other.findPort (own, "BrisaltoIn Port"), 0);
    const int dest = other.findPort (own, "BrisaltoDest");
    ASSERT_GE (dest, 0);

    // A program change sent to the destination arrives.
    other.send (
        controller, [] (snd_seq_event_t& ev) { snd_seq_ev_set_pgmchange (&ev, 0, 2); }, own, dest);
    EXPECT_TRUE (waitUntil ([&] { return p->mProgramChangeLoads.load() == 1; }, 30000));
    messageThread.run ([&] { EXPECT_EQ (p->mLastProgramChangePreset, "C"); });

    // A port made afterwards is connected through the announce port.
    const int late = other.makeSourcePort ("Late");
    EXPECT_TRUE (waitUntil (
        [&]
        {
            other.send (late, [] (snd_seq_event_t& ev) { snd_seq_ev_set_noteon (&ev, 0, 60, 99); });
            return p->mMidiSideVelocity.load() == 99;
        },
        30000));

    // Disposing of the last wrapper joins the receive thread and closes the sequencer.
    messageThread.run ([&] { p.reset(); });
    EXPECT_FALSE (alsa->receiveThreadRunning());
    EXPECT_FALSE (alsa->isOpen());
    brisalto::platform::midi::MidiSystem::setStandard (nullptr);
}
