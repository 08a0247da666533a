#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The machine's MIDI system as the plug-in's own MIDI client sees it, in place of CoreMIDI and
// shaped after its calls: a client with a notification procedure, an input port and a virtual
// destination with a read procedure, the sources (each with an address and a display name),
// connecting and disconnecting a source, disposing of a client.
//
// Two backends: the ALSA sequencer (MidiSystemAlsa.cpp, the default) and an in-process system
// for tests (tests/common/InProcessMidiSystem.h).
//
// Delivery rules shared by both backends (ClientRegistry below): the read and notification
// procedures of a client run on the backend's receive thread (ALSA) or on the thread that sends
// (in-process); a client's procedures never run two at a time; disposeClient removes the client,
// deletes its ports and waits for a procedure of it that is running, so that nothing reaches the
// client's procedures once disposeClient has returned.
namespace brisalto::platform::midi
{
    using ObjectRef = uint32_t;  // 0 stands for "none", as in CoreMIDI
    using ClientRef = ObjectRef;
    using PortRef = ObjectRef;
    using EndpointRef = ObjectRef;

    // One message as the MIDI system delivers it: status with the channel bits cleared, channel,
    // the two data bytes (0 when absent). The values come from other programs: nothing here
    // checks their ranges.
    struct Packet
    {
        int status = 0;
        int channel = 0;
        int data1 = 0;
        int data2 = 0;
    };

    struct PacketList
    {
        int numPackets = 0;
        const Packet* packets = nullptr;
    };

    // CoreMIDI's message ids: 1 setup changed, 2 object added, 3 object removed.
    enum NotificationId : int
    {
        msgSetupChanged = 1,
        msgObjectAdded = 2,
        msgObjectRemoved = 3
    };

    struct Notification
    {
        int messageID = 0;
    };

    using NotifyProc = void (*) (const Notification* message, void* refCon);
    using ReadProc = void (*) (const PacketList* packets, void* readProcRefCon, void* srcConnRefCon);

    struct Source
    {
        EndpointRef ref = 0;  // what connectSource and disconnectSource take
        std::string address;  // ALSA: "client:port"
        std::string displayName;
        bool hasDisplayName = false;  // false: the name could not be read (the source is not connected)
        bool ownClient = false;       // a port of this process's own client: never connected
    };

    class MidiSystem
    {
    public:
        virtual ~MidiSystem() = default;

        // 0 when the client could not be made (no sequencer, for example); may be tried again.
        virtual ClientRef createClient (const std::string& name, NotifyProc notifyProc, void* notifyRefCon) = 0;

        // Writable by this client's connections only; 0 on failure.
        virtual PortRef createInputPort (ClientRef client, const std::string& name, ReadProc readProc, void* refCon) = 0;

        // Writable and subscribable: other programs connect to it; 0 on failure.
        virtual EndpointRef createDestination (ClientRef client, const std::string& name, ReadProc readProc, void* refCon) = 0;

        // The MIDI system's id of one of the client's endpoints (ALSA has no unique ids: the
        // address, client * 256 + port), 0 when unknown.
        virtual int32_t uniqueIdOf (EndpointRef endpoint) = 0;

        // Every source another program could send from, in the system's order.
        virtual std::vector<Source> sources() = 0;

        virtual bool connectSource (PortRef port, EndpointRef source, void* connRefCon) = 0;
        virtual bool disconnectSource (PortRef port, EndpointRef source) = 0;

        // Deletes the client's ports and destination and stops every delivery to it before it
        // returns. Safe from any thread but the one running the client's procedures.
        virtual void disposeClient (ClientRef client) = 0;

        // The backend new wrappers use: the ALSA sequencer unless a test installed another.
        static std::shared_ptr<MidiSystem> standard();
        static void setStandard (std::shared_ptr<MidiSystem> backend);
    };

    //==============================================================================
    // The bookkeeping both backends share: clients, their ports, and the delivery gate that
    // makes disposal final. Lookups take a short registry lock; a procedure runs outside it,
    // under its client's own gate, so a procedure that waits for something (the processor's
    // lifetime lock) never holds up the registry, and disposal waits only for its own client.
    class ClientRegistry
    {
    public:
        struct Client
        {
            ClientRef ref = 0;
            std::string name;
            NotifyProc notifyProc = nullptr;
            void* notifyRefCon = nullptr;

            std::mutex gate;        // held while one of the client's procedures runs
            bool disposed = false;  // set under the gate by disposal
        };

        struct Port
        {
            PortRef ref = 0;
            ClientRef client = 0;
            bool isDestination = false;
            int native = -1;  // the backend's own number for the port
            std::string name;
            ReadProc readProc = nullptr;
            void* refCon = nullptr;
        };

        ClientRef addClient (const std::string& name, NotifyProc, void* refCon);
        PortRef addPort (ClientRef client, bool isDestination, const std::string& name, int native, ReadProc, void* refCon);
        bool hasClient (ClientRef client) const;
        bool findPort (PortRef port, Port& out) const;
        bool findPortByNative (int native, Port& out) const;
        std::vector<Port> portsOf (ClientRef client) const;
        std::vector<ClientRef> clients() const;
        std::vector<std::string> clientNames() const;
        size_t clientCount() const;

        // Takes the client and its ports out of the registry, then closes its gate (waiting for
        // a procedure of it that is running). Hands back the ports it had, for the backend to
        // delete; false when the client was not registered.
        bool removeClient (ClientRef client, std::vector<Port>& removedPorts);

        // Runs the read procedure of the port, unless its client is gone. Returns whether it ran.
        bool deliver (PortRef port, const Packet& packet, void* srcConnRefCon);
        bool deliverToNative (int native, const Packet& packet);

        // Runs the notification procedure of every client.
        void notifyAll (const Notification& notification);

    private:
        bool deliverTo (const Port& port, const Packet& packet, void* srcConnRefCon);

        mutable std::mutex mutex;
        std::map<ClientRef, std::shared_ptr<Client>> clientTable;
        std::map<PortRef, Port> portTable;
        ObjectRef nextRef = 1;
    };
}
