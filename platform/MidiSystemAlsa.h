#pragma once

#include "MidiSystem.h"

// The MIDI system through the ALSA sequencer (libasound).
//
// One sequencer client per plug-in library, named after the first client asked for
// ("Brisaltoclient"), however many wrappers exist: user programs share one pool of 64 sequencer
// clients for the whole system, and a host project with many instances must not exhaust it.
// Every MidiSystem client is a registration inside that one sequencer client and owns its ports:
// an input port (writable, not subscribable by others; the wrapper connects the sources to it)
// and a destination (writable and subscribable: other programs connect to it). The sequencer
// client also has one private port subscribed to the system announce port: a port that starts
// elsewhere and can be read from reaches every registered client as the object-added
// notification.
//
// One receive thread for the sequencer client, with a wake-up so that it stops at once. It
// hands each event to the registration that owns the destination port (ClientRegistry).
// Disposing a registration removes it, deletes its ports and waits for a running procedure of
// it; the last disposal stops and joins the thread and closes the sequencer.
//
// ALSA has no manufacturer property and no unique ids: a source is its client and port address,
// and the own client's ports are never sources. Without a sequencer device (build machines,
// containers) creating a client fails quietly, is logged once, and is tried again next time.
namespace brisalto::platform::midi
{
    class AlsaMidiSystem final : public MidiSystem
    {
    public:
        // The process-wide instance.
        static std::shared_ptr<AlsaMidiSystem> shared();

        AlsaMidiSystem();
        ~AlsaMidiSystem() override;

        ClientRef createClient (const std::string& name, NotifyProc, void* notifyRefCon) override;
        PortRef createInputPort (ClientRef, const std::string& name, ReadProc, void* refCon) override;
        EndpointRef createDestination (ClientRef, const std::string& name, ReadProc, void* refCon) override;
        int32_t uniqueIdOf (EndpointRef endpoint) override;
        std::vector<Source> sources() override;
        bool connectSource (PortRef port, EndpointRef source, void* connRefCon) override;
        bool disconnectSource (PortRef port, EndpointRef source) override;
        void disposeClient (ClientRef client) override;

        // Whether a sequencer can be opened here at all (a throw-away client is opened and closed).
        static bool sequencerAvailable();

        // Inspection, for the smoke test.
        bool isOpen() const;
        int sequencerClientId() const;  // -1 while closed
        bool receiveThreadRunning() const;
        // The address of a source endpoint.
        static bool addressOf (EndpointRef source, int& client, int& port);

    private:
        struct Impl;
        std::unique_ptr<Impl> impl;
    };
}
