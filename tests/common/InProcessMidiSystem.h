#pragma once

#include "platform/MidiSystem.h"

#include <set>
#include <utility>

// A MIDI system inside the process, for tests: sources are added and removed by the test (with
// the object-added notification), messages are sent from a source or to a destination on the
// calling thread (which plays the part of the MIDI system's receive thread), client and port
// creation can be made to fail, and everything made can be inspected.
namespace brisalto::platform::midi
{
    class InProcessMidiSystem final : public MidiSystem
    {
    public:
        //==============================================================================
        // MidiSystem
        ClientRef createClient (const std::string& name, NotifyProc, void* notifyRefCon) override;
        PortRef createInputPort (ClientRef, const std::string& name, ReadProc, void* refCon) override;
        EndpointRef createDestination (ClientRef, const std::string& name, ReadProc, void* refCon) override;
        int32_t uniqueIdOf (EndpointRef endpoint) override;
        std::vector<Source> sources() override;
        bool connectSource (PortRef port, EndpointRef source, void* connRefCon) override;
        bool disconnectSource (PortRef port, EndpointRef source) override;
        void disposeClient (ClientRef client) override;

        //==============================================================================
        // What a test does.
        // A new source, announced to every client with the object-added notification.
        EndpointRef addSource (const std::string& displayName, bool hasDisplayName = true, bool ownClient = false);
        // Removes a source and its connections, announced with the object-removed notification.
        void removeSource (EndpointRef source);

        // Delivers one message from a source to every input port connected to it; returns how
        // many read procedures ran.
        int sendFromSource (EndpointRef source, const Packet& packet);
        // Delivers one message to a destination, as another program would; whether it ran.
        bool sendToDestination (EndpointRef destination, const Packet& packet);

        // The next n calls of each kind fail.
        void failNextClients (int n);
        void failNextInputPorts (int n);
        void failNextDestinations (int n);

        //==============================================================================
        // What a test inspects.
        int clientCount() const;
        int inputPortCount() const;
        int destinationCount() const;
        std::vector<std::string> clientNames() const;
        std::vector<std::string> portNames() const;
        std::vector<EndpointRef> destinations() const;
        // (port, source) pairs, in the order they were made.
        std::vector<std::pair<PortRef, EndpointRef>> connections() const;
        int connectionCountOf (EndpointRef source) const;
        int createClientCalls() const;

    private:
        struct SourceEntry
        {
            EndpointRef ref = 0;
            std::string displayName;
            bool hasDisplayName = true;
            bool ownClient = false;
        };

        struct Connection
        {
            PortRef port = 0;
            EndpointRef source = 0;
            void* connRefCon = nullptr;
        };

        bool failsNow (int& failuresLeft);

        ClientRegistry registry;

        mutable std::mutex mutex;  // sources, connections and the failure counters
        std::vector<SourceEntry> sourceList;
        std::vector<Connection> connectionList;
        EndpointRef nextSourceRef = 0x40000000;
        int clientFailures = 0, inputPortFailures = 0, destinationFailures = 0;
        int clientCalls = 0;
    };
}
