#pragma once
// Stand-ins for the PC's network and the address probe, so the address rules run without a
// network: a fixed adapter list and a probe that answers from a set of busy addresses.

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "platform/icmp_probe.h"
#include "platform/network_params.h"

namespace camfleet::testing {

inline uint32_t Ip(const char* text) {
    uint32_t address = 0;
    ParseDottedAddress(text, &address);
    return address;
}

class FakeProbe : public AddressProbe {
public:
    int Probe(uint32_t address) override {
        ++probes;
        if (errors.count(address) != 0)
            return kProbeError;
        return busy.count(address) != 0 ? kProbeInUse : kProbeUnused;
    }
    std::set<uint32_t> busy;    // answer the echo
    std::set<uint32_t> errors;  // the probe fails
    std::atomic<int> probes{0};
};

class FakeNetwork : public NetworkParamSource {
public:
    bool ReadDnsServers(std::vector<std::string>* servers) override {
        *servers = dns;
        return dnsReadable;
    }
    bool ReadOutgoingAdapter(NetworkAdapterInfo* adapter) override {
        *adapter = outgoing;
        return routeReadable;
    }
    std::vector<AdapterAddress> LocalAddresses() override { return local; }

    bool dnsReadable = true;
    bool routeReadable = true;
    std::vector<std::string> dns{"192.168.1.1", "8.8.4.4"};
    NetworkAdapterInfo outgoing{{Ip("192.168.1.1")}, {{Ip("192.168.1.100"), Ip("255.255.255.0")}}};
    std::vector<AdapterAddress> local{{Ip("192.168.1.100"), Ip("255.255.255.0")}};
};

}  // namespace camfleet::testing
