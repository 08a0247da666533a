#include "processor/midi/MidiWrapper.h"

#include "platform/Log.h"

namespace MIDI_WRAPPER
{
    bool isValidMessage (int status, int channel, int dataByte1, int dataByte2) noexcept
    {
        return status >= 0x80 && status <= 0xF0 && (status & 0x0F) == 0 && channel >= 0 && channel <= 15 && dataByte1 >= 0
            && dataByte1 <= 127 && dataByte2 >= 0 && dataByte2 <= 127;
    }

    void myMIDINotifyProc (const brisalto::platform::midi::Notification* message, void* refCon)
    {
        auto* wrapper = static_cast<midi_wrapper*> (refCon);
        if (wrapper == nullptr)
            return;

        wrapper->notify_count.fetch_add (1);

        // Whether the wrapper listens (its port exists, MIDI is not taken from the host) is decided
        // on the message thread, where the reconnect runs.
        if (message != nullptr && message->messageID == brisalto::platform::midi::msgObjectAdded && wrapper->source_added)
            wrapper->source_added();
    }

    void myMidiInReadProc (const brisalto::platform::midi::PacketList* packets, void* readProcRefCon, void*)
    {
        const auto* wrapper = static_cast<const midi_wrapper*> (readProcRefCon);
        if (wrapper == nullptr || packets == nullptr || packets->numPackets <= 0 || packets->packets == nullptr)
            return;
        if (! wrapper->callback)
            return;

        // While MIDI comes from the host, nothing of the own client reaches the filter, from the
        // sources or from the destination.
        if (wrapper->host_only != nullptr && wrapper->host_only->load() != 0)
            return;

        // The sequencer hands over one parsed message per packet: each packet is one message.
        for (int i = 0; i < packets->numPackets; ++i)
        {
            const auto& p = packets->packets[i];
            if (! isValidMessage (p.status, p.channel, p.data1, p.data2))
                continue;
            wrapper->callback (wrapper->caller, p.status, p.channel, p.data1, p.data2);
        }
    }

    //==============================================================================
    midi_wrapper::midi_wrapper (std::shared_ptr<brisalto::platform::midi::MidiSystem> midiSystem, Callback cb, void* owner,
                                const RelaxedAtomic<int32_t>* hostOnly, std::function<void()> sourceAdded)
        : callback (std::move (cb))
        , caller (owner)
        , system (std::move (midiSystem))
        , host_only (hostOnly)
        , source_added (std::move (sourceAdded))
    {
    }

    midi_wrapper::~midi_wrapper()
    {
        dispose();
    }

    void midi_wrapper::dispose()
    {
        if (client != 0 && system != nullptr)
            system->disposeClient (client);
        client = 0;
        in_port = 0;
        virtual_destination = 0;
        virtual_destination_id = 0;
        source_endpoints.clear();
    }

    bool midi_wrapper::create_client()
    {
        if (client != 0)
            return true;
        if (system == nullptr)
            return false;

        client = system->createClient (name + "client", myMIDINotifyProc, this);
        return client != 0;
    }

    bool midi_wrapper::create_port_and_destination()
    {
        if (client == 0 || system == nullptr)
            return false;

        if (in_port == 0)
            in_port = system->createInputPort (client, name + "In Port", myMidiInReadProc, this);

        if (virtual_destination == 0)
        {
            virtual_destination = system->createDestination (client, name + "Dest", myMidiInReadProc, this);
            if (virtual_destination != 0)
            {
                virtual_destination_id = system->uniqueIdOf (virtual_destination);
                if (debug != 0)
                    brisalto::platform::log::print ("dest ID = %d\n", (int) virtual_destination_id);
            }
        }

        return in_port != 0;
    }

    void midi_wrapper::connect_source_endpoints()
    {
        if (system == nullptr || in_port == 0)
            return;

        for (const auto source : source_endpoints)
            if (source != 0)
                system->disconnectSource (in_port, source);
        source_endpoints.clear();

        const auto sources = system->sources();
        source_endpoints.assign (sources.size(), 0);

        for (size_t i = 0; i < sources.size(); ++i)
        {
            const auto& source = sources[i];
            source_endpoints[i] = source.ref;
            if (! source.hasDisplayName)
                continue;  // listed, not connected

            // CoreMIDI's name went through a 255-byte buffer.
            const auto displayName = source.displayName.substr (0, 254);
            if (debug != 0)
                brisalto::platform::log::print ("midi source : %s\n", displayName.c_str());

            if (! source.ownClient)
                system->connectSource (in_port, source.ref, this);
        }
    }

    void midi_wrapper::disconnect_source_endpoints()
    {
        if (system != nullptr && in_port != 0)
            for (const auto source : source_endpoints)
                if (source != 0)
                    system->disconnectSource (in_port, source);
        source_endpoints.clear();
    }
}
