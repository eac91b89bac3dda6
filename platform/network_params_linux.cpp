// The Linux reader of the PC's network: /etc/resolv.conf, a connected (never used) UDP socket
// for the route, getifaddrs for the addresses and /proc/net/route for the gateways.

#if defined(__linux__)

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/network_params.h"

namespace camfleet {

namespace {

// Any routable public address serves: only the kernel's route choice is wanted.
constexpr uint32_t kRouteProbeAddress = 0x08080808;  // 8.8.8.8
constexpr uint16_t kRouteProbePort = 53;

// The local address the kernel picks towards the public address. connect() on a UDP socket
// only chooses a route and a source address; nothing is sent.
bool OutgoingLocalAddress(uint32_t* address) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kRouteProbePort);
    to.sin_addr.s_addr = htonl(kRouteProbeAddress);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    close(fd);
    if (!ok || local.sin_addr.s_addr == 0)
        return false;
    *address = ntohl(local.sin_addr.s_addr);
    return true;
}

struct InterfaceAddress {
    std::string name;
    AdapterAddress address;
};

std::vector<InterfaceAddress> ReadInterfaceAddresses() {
    std::vector<InterfaceAddress> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET ||
            (a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        InterfaceAddress entry;
        entry.name = a->ifa_name;
        entry.address.address =
            ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
        if (a->ifa_netmask != nullptr)
            entry.address.netmask =
                ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr);
        found.push_back(entry);
    }
    freeifaddrs(list);
    return found;
}

// Gateways of `interface` in /proc/net/route order (fields: Iface Destination Gateway ...,
// addresses as little-endian hexadecimal).
std::vector<uint32_t> ReadGateways(const std::string& interface) {
    std::vector<uint32_t> gateways;
    std::ifstream in("/proc/net/route");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway;
        if (!(fields >> name >> destination >> gateway) || name != interface)
            continue;
        unsigned long raw = 0;
        if (std::sscanf(gateway.c_str(), "%lx", &raw) != 1 || raw == 0)
            continue;
        gateways.push_back(ntohl(static_cast<uint32_t>(raw)));
    }
    return gateways;
}

class LinuxNetworkParamSource : public NetworkParamSource {
public:
    bool ReadDnsServers(std::vector<std::string>* servers) override {
        std::ifstream in("/etc/resolv.conf");
        if (!in)
            return false;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string keyword, server;
            uint32_t address = 0;
            if ((fields >> keyword >> server) && keyword == "nameserver" &&
                ParseDottedAddress(server, &address))
                servers->push_back(server);
        }
        return true;
    }

    bool ReadOutgoingAdapter(NetworkAdapterInfo* adapter) override {
        uint32_t local = 0;
        if (!OutgoingLocalAddress(&local))
            return false;
        const std::vector<InterfaceAddress> all = ReadInterfaceAddresses();
        std::string name;
        for (const InterfaceAddress& a : all)
            if (a.address.address == local)
                name = a.name;
        if (name.empty())
            return false;
        for (const InterfaceAddress& a : all)
            if (a.name == name)
                adapter->addresses.push_back(a.address);
        adapter->gateways = ReadGateways(name);
        return true;
    }

    std::vector<AdapterAddress> LocalAddresses() override {
        std::vector<AdapterAddress> addresses;
        for (const InterfaceAddress& a : ReadInterfaceAddresses())
            addresses.push_back(a.address);
        return addresses;
    }
};

}  // namespace

std::unique_ptr<NetworkParamSource> MakeSystemNetworkParamSource() {
    return std::make_unique<LinuxNetworkParamSource>();
}

}  // namespace camfleet

#endif  // __linux__
