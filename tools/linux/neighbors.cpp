// SPDX-License-Identifier: MIT
// Linux: each up port's LLDP neighbour, from lldpd where it runs (through
// its client library, loaded only where it is installed), else heard on a
// packet socket bound to the port's interface. Nothing is ever sent.
#include "tools/neighbors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#ifdef TESMARON_HAVE_LLDPCTL
#include <lldp-const.h>
#include <lldpctl.h>
#endif

namespace tesmaron::tool {

namespace {

// The ports asked about: those whose first interface is up.
std::vector<Port *> Asked(std::vector<Port> &ports) {
    std::vector<Port *> asked;
    for (Port &port : ports) {
        port.neighbor_sought = !port.interfaces.empty() && port.operstate == "up";
        if (port.neighbor_sought) asked.push_back(&port);
    }
    return asked;
}

#ifdef TESMARON_HAVE_LLDPCTL
// lldpd's client library, as its header declares it, loaded at run time: a
// machine without lldpd needs none of it.
struct Lldpctl {
    void *library;
    decltype(&lldpctl_new) new_connection;
    decltype(&lldpctl_release) release;
    decltype(&lldpctl_get_interfaces) interfaces;
    decltype(&lldpctl_get_port) port;
    decltype(&lldpctl_atom_get) get;
    decltype(&lldpctl_atom_get_str) get_str;
    decltype(&lldpctl_atom_get_int) get_int;
    decltype(&lldpctl_atom_iter) iter;
    decltype(&lldpctl_atom_iter_next) iter_next;
    decltype(&lldpctl_atom_iter_value) iter_value;
    decltype(&lldpctl_atom_dec_ref) dec_ref;
    decltype(&lldpctl_log_callback) log_callback;
};

// The library's own words (no daemon to connect to, say) are not the
// tool's: where lldpd does not run, the tool listens itself.
void Quiet(int, const char *) {}

template <typename F>
bool Resolve(void *library, const char *name, F &function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

bool Load(Lldpctl &api) {
    api.library = dlopen("liblldpctl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (api.library == nullptr) return false;
    void *l = api.library;
    if (Resolve(l, "lldpctl_new", api.new_connection) && Resolve(l, "lldpctl_release", api.release) &&
        Resolve(l, "lldpctl_get_interfaces", api.interfaces) && Resolve(l, "lldpctl_get_port", api.port) &&
        Resolve(l, "lldpctl_atom_get", api.get) && Resolve(l, "lldpctl_atom_get_str", api.get_str) &&
        Resolve(l, "lldpctl_atom_get_int", api.get_int) && Resolve(l, "lldpctl_atom_iter", api.iter) &&
        Resolve(l, "lldpctl_atom_iter_next", api.iter_next) && Resolve(l, "lldpctl_atom_iter_value", api.iter_value) &&
        Resolve(l, "lldpctl_atom_dec_ref", api.dec_ref) && Resolve(l, "lldpctl_log_callback", api.log_callback)) {
        api.log_callback(Quiet);
        return true;
    }
    dlclose(l);
    return false;
}

// Each value of a list atom, as the library's own foreach gives them.
template <typename Each>
void ForEach(const Lldpctl &api, lldpctl_atom_t *list, Each each) {
    if (list == nullptr) return;
    lldpctl_atom_t *value = nullptr;
    for (lldpctl_atom_iter_t *at = api.iter(list); at != nullptr && (value = api.iter_value(list, at)) != nullptr;
         at = api.iter_next(list, at)) {
        each(value);
        api.dec_ref(value);
    }
}

std::string Str(const Lldpctl &api, lldpctl_atom_t *atom, lldpctl_key_t key) {
    const char *text = atom != nullptr ? api.get_str(atom, key) : nullptr;
    return text != nullptr ? text : "";
}

// The first LLDP neighbour lldpd knows on an interface.
std::optional<LinkNeighbor> NeighborOn(const Lldpctl &api, lldpctl_atom_t *interface) {
    std::optional<LinkNeighbor> found;
    lldpctl_atom_t *port = api.port(interface);
    lldpctl_atom_t *neighbors = port != nullptr ? api.get(port, lldpctl_k_port_neighbors) : nullptr;
    ForEach(api, neighbors, [&](lldpctl_atom_t *neighbor) {
        if (found || api.get_int(neighbor, lldpctl_k_port_protocol) != LLDPD_MODE_LLDP) return;
        lldpctl_atom_t *chassis = api.get(neighbor, lldpctl_k_port_chassis);
        LinkNeighbor heard{Str(api, chassis, lldpctl_k_chassis_id),
                           Str(api, chassis, lldpctl_k_chassis_name),
                           Str(api, neighbor, lldpctl_k_port_id),
                           Str(api, neighbor, lldpctl_k_port_descr),
                           "",
                           {}};
        const long vlan = api.get_int(neighbor, lldpctl_k_port_vlan_pvid);
        if (vlan > 0 && vlan < 4096) heard.vlan = static_cast<uint16_t>(vlan);
        lldpctl_atom_t *addresses = chassis != nullptr ? api.get(chassis, lldpctl_k_chassis_mgmt) : nullptr;
        ForEach(api, addresses, [&](lldpctl_atom_t *address) {
            if (heard.management.empty()) heard.management = Str(api, address, lldpctl_k_mgmt_ip);
        });
        if (addresses != nullptr) api.dec_ref(addresses);
        if (chassis != nullptr) api.dec_ref(chassis);
        found = heard;
    });
    if (neighbors != nullptr) api.dec_ref(neighbors);
    if (port != nullptr) api.dec_ref(port);
    return found;
}

// What lldpd knows, where it runs; false where it does not (or is not
// installed), so that the tool listens itself.
bool FromLldpd(const std::vector<Port *> &asked) {
    Lldpctl api{};
    if (!Load(api)) return false;
    lldpctl_conn_t *connection = api.new_connection(nullptr, nullptr, nullptr);
    lldpctl_atom_t *interfaces = connection != nullptr ? api.interfaces(connection) : nullptr;
    const bool running = interfaces != nullptr;
    ForEach(api, interfaces, [&](lldpctl_atom_t *interface) {
        const std::string name = Str(api, interface, lldpctl_k_interface_name);
        for (Port *port : asked) {
            if (port->interfaces.front() == name) port->neighbor = NeighborOn(api, interface);
        }
    });
    if (interfaces != nullptr) api.dec_ref(interfaces);
    if (connection != nullptr) api.release(connection);
    dlclose(api.library);
    return running;
}
#else
bool FromLldpd(const std::vector<Port *> &) { return false; }
#endif

// A packet socket on an interface for LLDP frames, its multicast address
// taken in; -1 and errno where it cannot be made.
int LldpSocket(const std::string &name) {
    const unsigned index = if_nametoindex(name.c_str());
    if (index == 0) return -1;
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(lldp::LLDP_ETHERTYPE));
    if (fd < 0) return -1;
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(lldp::LLDP_ETHERTYPE);
    at.sll_ifindex = static_cast<int>(index);
    packet_mreq membership{};
    membership.mr_ifindex = static_cast<int>(index);
    membership.mr_type = PACKET_MR_MULTICAST;
    membership.mr_alen = 6;
    std::memcpy(membership.mr_address, lldp::LLDP_MULTICAST, 6);
    if (bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof(at)) != 0 ||
        setsockopt(fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &membership, sizeof(membership)) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Listens on every asked port's interface until each has been heard, or
// the time is up; a frame this machine sends itself is never its neighbour.
std::string Listen(const std::vector<Port *> &asked, int wait_seconds) {
    std::vector<pollfd> sockets;
    std::vector<Port *> on;
    for (Port *port : asked) {
        const int fd = LldpSocket(port->interfaces.front());
        if (fd < 0 && (errno == EPERM || errno == EACCES)) {
            for (const pollfd &socket : sockets) close(socket.fd);
            return "--neighbors needs root (CAP_NET_RAW) to listen for LLDP";
        }
        if (fd < 0) continue;
        sockets.push_back({fd, POLLIN, 0});
        on.push_back(port);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait_seconds);
    for (size_t heard = 0; heard < sockets.size();) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(sockets.data(), sockets.size(), static_cast<int>(left.count())) <= 0) break;
        for (size_t i = 0; i < sockets.size(); ++i) {
            if (sockets[i].fd < 0 || !(sockets[i].revents & POLLIN)) continue;
            uint8_t frame[2048];
            sockaddr_ll from{};
            socklen_t from_size = sizeof(from);
            const ssize_t got =
                recvfrom(sockets[i].fd, frame, sizeof(frame), 0, reinterpret_cast<sockaddr *>(&from), &from_size);
            lldp::Neighbor neighbor;
            if (got <= 0 || from.sll_pkttype == PACKET_OUTGOING ||
                lldp::DecodeFrame(frame, static_cast<size_t>(got), neighbor) != lldp::FrameFault::NONE) {
                continue;
            }
            on[i]->neighbor = NeighborOf(neighbor);
            close(sockets[i].fd);
            sockets[i].fd = -1;  // poll passes it over from now on
            ++heard;
        }
    }
    for (const pollfd &socket : sockets) {
        if (socket.fd >= 0) close(socket.fd);
    }
    return "";
}

}  // namespace

std::string SeekNeighbors(std::vector<Port> &ports, int wait_seconds) {
    const std::vector<Port *> asked = Asked(ports);
    if (asked.empty() || FromLldpd(asked)) return "";
    return Listen(asked, wait_seconds);
}

}  // namespace tesmaron::tool
