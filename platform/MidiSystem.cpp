#include "MidiSystem.h"
#include "MidiSystemAlsa.h"

namespace brisalto::platform::midi
{
    namespace
    {
        std::mutex backendMutex;
        std::shared_ptr<MidiSystem> backend;
    }

    std::shared_ptr<MidiSystem> MidiSystem::standard()
    {
        std::lock_guard<std::mutex> lock (backendMutex);
        if (backend == nullptr)
            backend = AlsaMidiSystem::shared();
        return backend;
    }

    void MidiSystem::setStandard (std::shared_ptr<MidiSystem> newBackend)
    {
        std::lock_guard<std::mutex> lock (backendMutex);
        backend = std::move (newBackend);
    }

    //==============================================================================
    ClientRef ClientRegistry::addClient (const std::string& name, NotifyProc notifyProc, void* refCon)
    {
        auto client = std::make_shared<Client>();
        client->name = name;
        client->notifyProc = notifyProc;
        client->notifyRefCon = refCon;

        std::lock_guard<std::mutex> lock (mutex);
        client->ref = nextRef++;
        clientTable[client->ref] = client;
        return client->ref;
    }

    PortRef ClientRegistry::addPort (ClientRef client, bool isDestination, const std::string& name, int native, ReadProc readProc,
                                     void* refCon)
    {
        std::lock_guard<std::mutex> lock (mutex);
        if (clientTable.find (client) == clientTable.end())
            return 0;

        Port port;
        port.ref = nextRef++;
        port.client = client;
        port.isDestination = isDestination;
        port.native = native;
        port.name = name;
        port.readProc = readProc;
        port.refCon = refCon;
        portTable[port.ref] = port;
        return port.ref;
    }

    bool ClientRegistry::hasClient (ClientRef client) const
    {
        std::lock_guard<std::mutex> lock (mutex);
        return clientTable.find (client) != clientTable.end();
    }

    bool ClientRegistry::findPort (PortRef ref, Port& out) const
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto it = portTable.find (ref);
        if (it == portTable.end())
            return false;
        out = it->second;
        return true;
    }

    bool ClientRegistry::findPortByNative (int native, Port& out) const
    {
        std::lock_guard<std::mutex> lock (mutex);
        for (const auto& [ref, port] : portTable)
        {
            if (port.native == native)
            {
                out = port;
                return true;
            }
        }
        return false;
    }

    std::vector<ClientRegistry::Port> ClientRegistry::portsOf (ClientRef client) const
    {
        std::lock_guard<std::mutex> lock (mutex);
        std::vector<Port> result;
        for (const auto& [ref, port] : portTable)
            if (port.client == client)
                result.push_back (port);
        return result;
    }

    std::vector<ClientRef> ClientRegistry::clients() const
    {
        std::lock_guard<std::mutex> lock (mutex);
        std::vector<ClientRef> result;
        for (const auto& [ref, client] : clientTable)
            result.push_back (ref);
        return result;
    }

    std::vector<std::string> ClientRegistry::clientNames() const
    {
        std::lock_guard<std::mutex> lock (mutex);
        std::vector<std::string> result;
        for (const auto& [ref, client] : clientTable)
            result.push_back (client->name);
        return result;
    }

    size_t ClientRegistry::clientCount() const
    {
        std::lock_guard<std::mutex> lock (mutex);
        return clientTable.size();
    }

    bool ClientRegistry::removeClient (ClientRef ref, std::vector<Port>& removed)
    {
        std::shared_ptr<Client> client;
        removed.clear();
        {
            std::lock_guard<std::mutex> lock (mutex);
            const auto it = clientTable.find (ref);
            if (it == clientTable.end())
                return false;
            client = it->second;
            clientTable.erase (it);

            for (auto p = portTable.begin(); p != portTable.end();)
            {
                if (p->second.client == ref)
                {
                    removed.push_back (p->second);
                    p = portTable.erase (p);
                }
                else
                {
                    ++p;
                }
            }
        }

        // Waits for a procedure of this client that is running; none starts afterwards.
        std::lock_guard<std::mutex> gate (client->gate);
        client->disposed = true;
        return true;
    }

    bool ClientRegistry::deliver (PortRef ref, const Packet& packet, void* srcConnRefCon)
    {
        Port port;
        if (! findPort (ref, port))
            return false;
        return deliverTo (port, packet, srcConnRefCon);
    }

    bool ClientRegistry::deliverToNative (int native, const Packet& packet)
    {
        Port port;
        if (! findPortByNative (native, port))
            return false;
        return deliverTo (port, packet, nullptr);
    }

    bool ClientRegistry::deliverTo (const Port& port, const Packet& packet, void* srcConnRefCon)
    {
        std::shared_ptr<Client> client;
        {
            std::lock_guard<std::mutex> lock (mutex);
            const auto it = clientTable.find (port.client);
            if (it == clientTable.end())
                return false;
            client = it->second;
        }

        std::lock_guard<std::mutex> gate (client->gate);
        if (client->disposed || port.readProc == nullptr)
            return false;

        const PacketList list { 1, &packet };
        port.readProc (&list, port.refCon, srcConnRefCon);
        return true;
    }

    void ClientRegistry::notifyAll (const Notification& notification)
    {
        std::vector<std::shared_ptr<Client>> targets;
        {
            std::lock_guard<std::mutex> lock (mutex);
            for (const auto& [ref, client] : clientTable)
                targets.push_back (client);
        }

        for (const auto& client : targets)
        {
            std::lock_guard<std::mutex> gate (client->gate);
            if (! client->disposed && client->notifyProc != nullptr)
                client->notifyProc (&notification, client->notifyRefCon);
        }
    }
}
