#pragma once
// What the operating system says about the PC's own network: the resolver's DNS servers, the
// adapter it would send through towards the Internet, and every local IPv4 address. Behind an
// interface so that each system has its own reader and tests can hand in a fixed network.
//
// Addresses are IPv4 in host byte order.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace camfleet {

struct AdapterAddress {
    uint32_t address = 0;
    uint32_t netmask = 0;
};

// One adapter as the system describes it: its gateways and its addresses, in system order.
struct NetworkAdapterInfo {
    std::vector<uint32_t> gateways;
    std::vector<AdapterAddress> addresses;
};

class NetworkParamSource {
public:
    virtual ~NetworkParamSource() = default;
    // The DNS servers in the resolver's order (dotted texts); false when the resolver
    // configuration cannot be read.
    virtual bool ReadDnsServers(std::vector<std::string>* servers) = 0;
    // The adapter the system would use to reach a public address, found without sending
    // anything; false when there is no route or the adapter list cannot be read.
    virtual bool ReadOutgoingAdapter(NetworkAdapterInfo* adapter) = 0;
    // Every IPv4 address of every adapter that is up, loopback excluded, in adapter order.
    virtual std::vector<AdapterAddress> LocalAddresses() = 0;
};

// The reader of the running system.
std::unique_ptr<NetworkParamSource> MakeSystemNetworkParamSource();

// Dotted text of a host-order address ("%d.%d.%d.%d").
std::string DottedAddress(uint32_t address);
// Strict dotted quad (four decimal fields 0 to 255) to a host-order address; false otherwise.
bool ParseDottedAddress(const std::string& text, uint32_t* address);

}  // namespace camfleet
