#include "MidiSystemAlsa.h"
#include "MidiSystemAlsaEvents.h"
#include "Log.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace brisalto::platform::midi
{
    namespace
    {
        constexpr const char* sequencerDevice = "/dev/snd/seq";

        // Source endpoints carry their address: a tag bit, the client and the port.
        constexpr EndpointRef sourceTag = 0x01000000;

        EndpointRef sourceRefOf (int client, int port)
        {
            return sourceTag | ((EndpointRef) (client & 0xFF) << 8) | (EndpointRef) (port & 0xFF);
        }

        // Without the device libasound would print its own complaint: ask the file system first.
        int openSequencer (snd_seq_t** seq, int mode)
        {
            if (::access (sequencerDevice, R_OK | W_OK) != 0)
                return -ENOENT;
            return snd_seq_open (seq, "default", mode, SND_SEQ_NONBLOCK);
        }

        std::atomic<bool> failureLogged { false };
    }

    struct AlsaMidiSystem::Impl
    {
        // Open, close, port and connection calls from the message thread (and disposal from a
        // destructor). The receive thread never takes it.
        mutable std::mutex lifecycle;
        snd_seq_t* seq = nullptr;
        std::atomic<int> clientId { -1 };
        int announcePort = -1;
        int wakeFd = -1;
        std::thread receiver;
        std::atomic<bool> stopRequested { false };
        std::atomic<bool> threadRunning { false };
        ClientRegistry registry;

        bool open (const std::string& clientName)
        {
            const int rc = openSequencer (&seq, SND_SEQ_OPEN_DUPLEX);
            if (rc < 0 || seq == nullptr)
            {
                seq = nullptr;
                if (! failureLogged.exchange (true))
                    log::write (
                        log::notice,
                        "Brisalto MIDI : the ALSA sequencer could not be opened (%s); the plug-in carries on without its own MIDI  !!!!",
                        snd_strerror (rc));
                return false;
            }

            snd_seq_set_client_name (seq, clientName.c_str());
            clientId = snd_seq_client_id (seq);

            // Hot-plug: a private port that hears the system announce port.
            announcePort =
                snd_seq_create_simple_port (seq, "BrisaltoAnnounce", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                            SND_SEQ_PORT_TYPE_APPLICATION);
            if (announcePort < 0
                || snd_seq_connect_from (seq, announcePort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0)
                log::write (log::notice,
                            "Brisalto MIDI : no system announcements, devices plugged in later are not connected  !!!!");

            wakeFd = ::eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);
            stopRequested = false;
            threadRunning = true;
            receiver = std::thread ([this] { receive(); });
            failureLogged = false;
            return true;
        }

        void close()
        {
            if (seq == nullptr)
                return;

            stopRequested = true;
            if (wakeFd >= 0)
            {
                const uint64_t one = 1;
                [[maybe_unused]] const auto written = ::write (wakeFd, &one, sizeof (one));
            }
            if (receiver.joinable() && receiver.get_id() != std::this_thread::get_id())
                receiver.join();

            snd_seq_close (seq);
            seq = nullptr;
            clientId = -1;
            announcePort = -1;
            if (wakeFd >= 0)
                ::close (wakeFd);
            wakeFd = -1;
        }

        void receive()
        {
            const int count = snd_seq_poll_descriptors_count (seq, POLLIN);
            std::vector<pollfd> fds ((size_t) count + 1);
            snd_seq_poll_descriptors (seq, fds.data(), (unsigned int) count, POLLIN);
            fds[(size_t) count] = { wakeFd, POLLIN, 0 };

            while (! stopRequested)
            {
                for (auto& fd : fds)
                    fd.revents = 0;
                const int ready = ::poll (fds.data(), (nfds_t) fds.size(), -1);
                if (ready < 0 && errno != EINTR)
                    break;
                if (stopRequested)
                    break;

                for (;;)
                {
                    snd_seq_event_t* ev = nullptr;
                    const int rc = snd_seq_event_input (seq, &ev);
                    if (rc == -ENOSPC)
                        continue;  // input overrun: events were lost, carry on with the next
                    if (rc < 0 || ev == nullptr)
                        break;  // -EAGAIN: nothing more for now
                    handle (*ev);
                }

                if (fds[(size_t) count].revents != 0)
                {
                    uint64_t value = 0;
                    [[maybe_unused]] const auto got = ::read (wakeFd, &value, sizeof (value));
                }
            }
            threadRunning = false;
        }

        void handle (const snd_seq_event_t& ev)
        {
            if (ev.source.client == SND_SEQ_CLIENT_SYSTEM && ev.source.port == SND_SEQ_PORT_SYSTEM_ANNOUNCE)
            {
                if (ev.data.addr.client == clientId)
                    return;  // our own ports come and go with the wrappers

                if (ev.type == SND_SEQ_EVENT_PORT_START && isSource (ev.data.addr.client, ev.data.addr.port))
                    registry.notifyAll (Notification { msgObjectAdded });
                else if (ev.type == SND_SEQ_EVENT_PORT_EXIT || ev.type == SND_SEQ_EVENT_CLIENT_EXIT)
                    registry.notifyAll (Notification { msgObjectRemoved });
                return;
            }

            Packet packet;
            if (packetOfEvent (ev, packet))
                registry.deliverToNative (ev.dest.port, packet);
        }

        bool isSource (int client, int port) const
        {
            snd_seq_port_info_t* info = nullptr;
            if (snd_seq_port_info_malloc (&info) < 0)
                return false;
            bool result = false;
            if (snd_seq_get_any_port_info (seq, client, port, info) >= 0)
            {
                const unsigned int caps = snd_seq_port_info_get_capability (info);
                const unsigned int wanted = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
                result = (caps & wanted) == wanted && (caps & SND_SEQ_PORT_CAP_NO_EXPORT) == 0;
            }
            snd_seq_port_info_free (info);
            return result;
        }

        PortRef makePort (ClientRef client, const std::string& name, bool destination, ReadProc readProc, void* refCon)
        {
            std::lock_guard<std::mutex> lock (lifecycle);
            if (seq == nullptr || ! registry.hasClient (client))
                return 0;

            const unsigned int caps =
                destination ? (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE) : SND_SEQ_PORT_CAP_WRITE;
            const int native = snd_seq_create_simple_port (seq, name.c_str(), caps,
                                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
            if (native < 0)
                return 0;

            const auto ref = registry.addPort (client, destination, name, native, readProc, refCon);
            if (ref == 0)
                snd_seq_delete_simple_port (seq, native);
            return ref;
        }
    };

    //==============================================================================
    std::shared_ptr<AlsaMidiSystem> AlsaMidiSystem::shared()
    {
        static std::shared_ptr<AlsaMidiSystem> instance = std::make_shared<AlsaMidiSystem>();
        return instance;
    }

    AlsaMidiSystem::AlsaMidiSystem()
        : impl (std::make_unique<Impl>())
    {
    }

    AlsaMidiSystem::~AlsaMidiSystem()
    {
        std::lock_guard<std::mutex> lock (impl->lifecycle);
        impl->close();
    }

    bool AlsaMidiSystem::sequencerAvailable()
    {
        snd_seq_t* seq = nullptr;
        const int rc = openSequencer (&seq, SND_SEQ_OPEN_DUPLEX);
        if (rc < 0 || seq == nullptr)
            return false;
        snd_seq_close (seq);
        return true;
    }

    ClientRef AlsaMidiSystem::createClient (const std::string& name, NotifyProc notifyProc, void* notifyRefCon)
    {
        std::lock_guard<std::mutex> lock (impl->lifecycle);
        if (impl->seq == nullptr && ! impl->open (name))
            return 0;
        return impl->registry.addClient (name, notifyProc, notifyRefCon);
    }

    PortRef AlsaMidiSystem::createInputPort (ClientRef client, const std::string& name, ReadProc readProc, void* refCon)
    {
        return impl->makePort (client, name, false, readProc, refCon);
    }

    EndpointRef AlsaMidiSystem::createDestination (ClientRef client, const std::string& name, ReadProc readProc, void* refCon)
    {
        return impl->makePort (client, name, true, readProc, refCon);
    }

    int32_t AlsaMidiSystem::uniqueIdOf (EndpointRef endpoint)
    {
        ClientRegistry::Port port;
        const int client = impl->clientId;
        if (client < 0 || ! impl->registry.findPort (endpoint, port))
            return 0;
        return (int32_t) (client * 256 + port.native);
    }

    std::vector<Source> AlsaMidiSystem::sources()
    {
        std::lock_guard<std::mutex> lock (impl->lifecycle);
        std::vector<Source> result;
        if (impl->seq == nullptr)
            return result;

        snd_seq_client_info_t* clientInfo = nullptr;
        snd_seq_port_info_t* portInfo = nullptr;
        if (snd_seq_client_info_malloc (&clientInfo) < 0)
            return result;
        if (snd_seq_port_info_malloc (&portInfo) < 0)
        {
            snd_seq_client_info_free (clientInfo);
            return result;
        }

        const int own = impl->clientId;
        snd_seq_client_info_set_client (clientInfo, -1);
        while (snd_seq_query_next_client (impl->seq, clientInfo) >= 0)
        {
            const int client = snd_seq_client_info_get_client (clientInfo);
            if (client == SND_SEQ_CLIENT_SYSTEM)
                continue;

            snd_seq_port_info_set_client (portInfo, client);
            snd_seq_port_info_set_port (portInfo, -1);
            while (snd_seq_query_next_port (impl->seq, portInfo) >= 0)
            {
                const unsigned int caps = snd_seq_port_info_get_capability (portInfo);
                const unsigned int wanted = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
                if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0)
                    continue;

                const int port = snd_seq_port_info_get_port (portInfo);
                const char* name = snd_seq_port_info_get_name (portInfo);
                Source s;
                s.ref = sourceRefOf (client, port);
                s.address = std::to_string (client) + ":" + std::to_string (port);
                s.hasDisplayName = name != nullptr && name[0] != 0;
                s.displayName = s.hasDisplayName ? std::string (name) : std::string();
                s.ownClient = client == own;
                result.push_back (s);
            }
        }

        snd_seq_port_info_free (portInfo);
        snd_seq_client_info_free (clientInfo);
        return result;
    }

    bool AlsaMidiSystem::addressOf (EndpointRef source, int& client, int& port)
    {
        if ((source & 0xFF000000) != sourceTag)
            return false;
        client = (int) ((source >> 8) & 0xFF);
        port = (int) (source & 0xFF);
        return true;
    }

    bool AlsaMidiSystem::connectSource (PortRef portRef, EndpointRef source, void*)
    {
        int client = 0, port = 0;
        ClientRegistry::Port entry;
        if (! addressOf (source, client, port) || ! impl->registry.findPort (portRef, entry) || entry.isDestination)
            return false;
        if (client == impl->clientId || client == SND_SEQ_CLIENT_SYSTEM)
            return false;

        std::lock_guard<std::mutex> lock (impl->lifecycle);
        return impl->seq != nullptr && snd_seq_connect_from (impl->seq, entry.native, client, port) == 0;
    }

    bool AlsaMidiSystem::disconnectSource (PortRef portRef, EndpointRef source)
    {
        int client = 0, port = 0;
        ClientRegistry::Port entry;
        if (! addressOf (source, client, port) || ! impl->registry.findPort (portRef, entry))
            return false;

        std::lock_guard<std::mutex> lock (impl->lifecycle);
        return impl->seq != nullptr && snd_seq_disconnect_from (impl->seq, entry.native, client, port) == 0;
    }

    void AlsaMidiSystem::disposeClient (ClientRef client)
    {
        // First out of the registry (waiting for a running procedure), then the ports go.
        std::vector<ClientRegistry::Port> ports;
        if (! impl->registry.removeClient (client, ports))
            return;

        std::lock_guard<std::mutex> lock (impl->lifecycle);
        if (impl->seq != nullptr)
            for (const auto& port : ports)
                snd_seq_delete_simple_port (impl->seq, port.native);

        if (impl->registry.clientCount() == 0)
            impl->close();
    }

    bool AlsaMidiSystem::isOpen() const
    {
        std::lock_guard<std::mutex> lock (impl->lifecycle);
        return impl->seq != nullptr;
    }

    int AlsaMidiSystem::sequencerClientId() const
    {
        return impl->clientId;
    }

    bool AlsaMidiSystem::receiveThreadRunning() const
    {
        std::lock_guard<std::mutex> lock (impl->lifecycle);
        return impl->receiver.joinable() && impl->threadRunning;
    }
}
