#include "InProcessMidiSystem.h"

#include <algorithm>

namespace brisalto::platform::midi
{
    bool InProcessMidiSystem::failsNow (int& failuresLeft)
    {
        std::lock_guard<std::mutex> lock (mutex);
        if (failuresLeft <= 0)
            return false;
        --failuresLeft;
        return true;
    }

    ClientRef InProcessMidiSystem::createClient (const std::string& name, NotifyProc notifyProc, void* notifyRefCon)
    {
        {
            std::lock_guard<std::mutex> lock (mutex);
            ++clientCalls;
        }
        if (failsNow (clientFailures))
            return 0;
        return registry.addClient (name, notifyProc, notifyRefCon);
    }

    PortRef InProcessMidiSystem::createInputPort (ClientRef client, const std::string& name, ReadProc readProc, void* refCon)
    {
        if (failsNow (inputPortFailures))
            return 0;
        return registry.addPort (client, false, name, -1, readProc, refCon);
    }

    EndpointRef InProcessMidiSystem::createDestination (ClientRef client, const std::string& name, ReadProc readProc,
                                                        void* refCon)
    {
        if (failsNow (destinationFailures))
            return 0;
        return registry.addPort (client, true, name, -1, readProc, refCon);
    }

    int32_t InProcessMidiSystem::uniqueIdOf (EndpointRef endpoint)
    {
        ClientRegistry::Port port;
        return registry.findPort (endpoint, port) ? (int32_t) (0x10000 + endpoint) : 0;
    }

    std::vector<Source> InProcessMidiSystem::sources()
    {
        std::lock_guard<std::mutex> lock (mutex);
        std::vector<Source> result;
        for (const auto& entry : sourceList)
        {
            Source s;
            s.ref = entry.ref;
            s.address = "inprocess:" + std::to_string (entry.ref);
            s.displayName = entry.hasDisplayName ? entry.displayName : std::string();
            s.hasDisplayName = entry.hasDisplayName;
            s.ownClient = entry.ownClient;
            result.push_back (s);
        }
        return result;
    }

    bool InProcessMidiSystem::connectSource (PortRef port, EndpointRef source, void* connRefCon)
    {
        ClientRegistry::Port entry;
        if (! registry.findPort (port, entry) || entry.isDestination)
            return false;

        std::lock_guard<std::mutex> lock (mutex);
        const bool known =
            std::any_of (sourceList.begin(), sourceList.end(), [source] (const SourceEntry& s) { return s.ref == source; });
        if (! known)
            return false;
        // Like the ALSA sequencer: a second subscription of the same pair is refused.
        for (const auto& c : connectionList)
            if (c.port == port && c.source == source)
                return false;
        connectionList.push_back ({ port, source, connRefCon });
        return true;
    }

    bool InProcessMidiSystem::disconnectSource (PortRef port, EndpointRef source)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto it = std::find_if (connectionList.begin(), connectionList.end(),
                                      [=] (const Connection& c) { return c.port == port && c.source == source; });
        if (it == connectionList.end())
            return false;
        connectionList.erase (it);
        return true;
    }

    void InProcessMidiSystem::disposeClient (ClientRef client)
    {
        std::vector<ClientRegistry::Port> ports;
        if (! registry.removeClient (client, ports))
            return;
        std::lock_guard<std::mutex> lock (mutex);
        for (const auto& port : ports)
            connectionList.erase (std::remove_if (connectionList.begin(), connectionList.end(),
                                                  [&] (const Connection& c) { return c.port == port.ref; }),
                                  connectionList.end());
    }

    //==============================================================================
    EndpointRef InProcessMidiSystem::addSource (const std::string& displayName, bool hasDisplayName, bool ownClient)
    {
        EndpointRef ref = 0;
        {
            std::lock_guard<std::mutex> lock (mutex);
            ref = ++nextSourceRef;
            sourceList.push_back ({ ref, displayName, hasDisplayName, ownClient });
        }
        registry.notifyAll (Notification { msgObjectAdded });
        return ref;
    }

    void InProcessMidiSystem::removeSource (EndpointRef source)
    {
        {
            std::lock_guard<std::mutex> lock (mutex);
            sourceList.erase (std::remove_if (sourceList.begin(), sourceList.end(),
                                              [=] (const SourceEntry& s) { return s.ref == source; }),
                              sourceList.end());
            connectionList.erase (std::remove_if (connectionList.begin(), connectionList.end(),
                                                  [=] (const Connection& c) { return c.source == source; }),
                                  connectionList.end());
        }
        registry.notifyAll (Notification { msgObjectRemoved });
    }

    int InProcessMidiSystem::sendFromSource (EndpointRef source, const Packet& packet)
    {
        std::vector<Connection> targets;
        {
            std::lock_guard<std::mutex> lock (mutex);
            for (const auto& c : connectionList)
                if (c.source == source)
                    targets.push_back (c);
        }

        int delivered = 0;
        for (const auto& c : targets)
            if (registry.deliver (c.port, packet, c.connRefCon))
                ++delivered;
        return delivered;
    }

    bool InProcessMidiSystem::sendToDestination (EndpointRef destination, const Packet& packet)
    {
        ClientRegistry::Port port;
        if (! registry.findPort (destination, port) || ! port.isDestination)
            return false;
        return registry.deliver (destination, packet, nullptr);
    }

    void InProcessMidiSystem::failNextClients (int n)
    {
        std::lock_guard<std::mutex> lock (mutex);
        clientFailures = n;
    }

    void InProcessMidiSystem::failNextInputPorts (int n)
    {
        std::lock_guard<std::mutex> lock (mutex);
        inputPortFailures = n;
    }

    void InProcessMidiSystem::failNextDestinations (int n)
    {
        std::lock_guard<std::mutex> lock (mutex);
        destinationFailures = n;
    }

    //==============================================================================
    int InProcessMidiSystem::clientCount() const
    {
        return (int) registry.clientCount();
    }

    int InProcessMidiSystem::inputPortCount() const
    {
        int n = 0;
        for (const auto client : registry.clients())
            for (const auto& port : registry.portsOf (client))
                n += port.isDestination ? 0 : 1;
        return n;
    }

    int InProcessMidiSystem::destinationCount() const
    {
        return (int) destinations().size();
    }

    std::vector<std::string> InProcessMidiSystem::clientNames() const
    {
        return registry.clientNames();
    }

    std::vector<std::string> InProcessMidiSystem::portNames() const
    {
        std::vector<std::string> names;
        for (const auto client : registry.clients())
            for (const auto& port : registry.portsOf (client))
                names.push_back (port.name);
        return names;
    }

    std::vector<EndpointRef> InProcessMidiSystem::destinations() const
    {
        std::vector<EndpointRef> result;
        for (const auto client : registry.clients())
            for (const auto& port : registry.portsOf (client))
                if (port.isDestination)
                    result.push_back (port.ref);
        return result;
    }

    std::vector<std::pair<PortRef, EndpointRef>> InProcessMidiSystem::connections() const
    {
        std::lock_guard<std::mutex> lock (mutex);
        std::vector<std::pair<PortRef, EndpointRef>> result;
        for (const auto& c : connectionList)
            result.emplace_back (c.port, c.source);
        return result;
    }

    int InProcessMidiSystem::connectionCountOf (EndpointRef source) const
    {
        std::lock_guard<std::mutex> lock (mutex);
        return (int) std::count_if (connectionList.begin(), connectionList.end(),
                                    [=] (const Connection& c) { return c.source == source; });
    }

    int InProcessMidiSystem::createClientCalls() const
    {
        std::lock_guard<std::mutex> lock (mutex);
        return clientCalls;
    }
}
