#pragma once

#include "platform/MidiSystem.h"
#include "processor/common/RelaxedAtomic.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The processor's own MIDI client over the platform MIDI system (platform/MidiSystem.h,
// the ALSA sequencer on Linux).
//
// Every function of the wrapper runs on the message thread, except the two procedures, which the
// MIDI system runs on its receive thread. The read procedure reads only what the constructor set
// (callback, caller, the host-only flag): the callback is installed when the wrapper is made,
// before any port exists, and never replaced, so it never changes under a running delivery.
namespace MIDI_WRAPPER
{
    using MIDIClientRef = brisalto::platform::midi::ClientRef;
    using MIDIPortRef = brisalto::platform::midi::PortRef;
    using MIDIEndpointRef = brisalto::platform::midi::EndpointRef;

    // The client's notification procedure: counts every notification; an object-added
    // notification asks for the sources to be connected again (on the message thread).
    void myMIDINotifyProc (const brisalto::platform::midi::Notification* message, void* refCon);

    // The read procedure of the input port and of the virtual destination.
    void myMidiInReadProc (const brisalto::platform::midi::PacketList* packets, void* readProcRefCon, void* srcConnRefCon);

    // Whether a message is one the filter may see: a status byte 0x80..0xF0 with the channel
    // bits cleared, channel 0..15, data bytes 0..127. Sequencer events carry ints that any
    // program can fill.
    bool isValidMessage (int status, int channel, int dataByte1, int dataByte2) noexcept;

    class midi_wrapper
    {
    public:
        using Callback = std::function<void (void*, int, int, int, int)>;

        // system: the MIDI system the wrapper's client lives in; callback and caller: what the
        // read procedure calls; hostOnly: the processor's midi_receive_from_DAW, checked by the
        // read procedure for every message; sourceAdded: called by the notification procedure
        // (on the receive thread) when a source was added.
        midi_wrapper (std::shared_ptr<brisalto::platform::midi::MidiSystem> system, Callback callback, void* caller,
                      const RelaxedAtomic<int32_t>* hostOnly, std::function<void()> sourceAdded);

        // Disposes of the client: its port and destination are deleted and no message reaches the
        // callback once the destructor has returned.
        ~midi_wrapper();

        // Step 2 of enableMidiReceive: makes the client while there is none; whether there is one.
        bool create_client();

        // Step 3: makes the input port while it is missing and the virtual destination while it
        // is missing (each on its own, so a retry never makes a second destination); whether
        // the input port exists.
        bool create_port_and_destination();

        // Disconnects every listed source, lists the sources again and connects each one that
        // has a display name and is not one of the own client's ports.
        void connect_source_endpoints();

        // Disconnects every listed source and empties the list (MIDI from the host instead,
        // the state restore and the settings panel).
        void disconnect_source_endpoints();

        // Disposes of the client (see the destructor); the wrapper can be made again afterwards.
        void dispose();

        //==============================================================================
        // The client's state.
        std::atomic<int32_t> notify_count { 0 };
        std::string name { "Brisalto" };
        MIDIClientRef client = 0;
        MIDIPortRef in_port = 0;
        std::vector<MIDIEndpointRef> source_endpoints;
        std::vector<uint32_t> source_ids;       // declared, no operation fills it
        std::vector<std::string> source_names;  // declared, no operation fills it
        const Callback callback;
        void* const caller;
        int32_t list_destinations = 0;  // declared; no operation sets it
        std::vector<MIDIEndpointRef> destination_endpoints;
        std::vector<uint32_t> destination_ids;
        std::vector<std::string> destination_names;
        MIDIEndpointRef virtual_destination = 0;
        int32_t virtual_destination_id = 0;
        MIDIEndpointRef virtual_source = 0;  // declared; never created
        int32_t virtual_source_id = 0;       // on Linux the own client's ports are never connected instead
        int32_t debug = 1;

        //==============================================================================
        // Linux additions.
        const std::shared_ptr<brisalto::platform::midi::MidiSystem> system;
        const RelaxedAtomic<int32_t>* const host_only;
        const std::function<void()> source_added;

        midi_wrapper (const midi_wrapper&) = delete;
        midi_wrapper& operator= (const midi_wrapper&) = delete;
    };
}
