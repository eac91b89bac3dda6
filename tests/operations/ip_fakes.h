#pragma once
// Stand-ins for the PC's network, the address probe and the neighbour table, so the address
// rules run without a network: a fixed adapter list, a probe that answers from sets of busy
// and late addresses, and a fixed set of resolved neighbours.

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/icmp_probe.h"
#include "platform/neighbour_table.h"
#include "platform/network_params.h"

namespace camfleet::testing {

inline uint32_t Ip(const char* text) {
    uint32_t address = 0;
    ParseDottedAddress(text, &address);
    return address;
}

// Sets are filled before probing starts.
class FakeProbe : public AddressProbe {
public:
    int Probe(uint32_t address) override {
        ++probes;
        if (errors.count(address) != 0)
            return kProbeError;
        return busy.count(address) != 0 ? kProbeInUse : kProbeUnused;
    }
    int Confirm(uint32_t address, std::stop_token) override {
        ++confirmations;
        if (errors.count(address) != 0)
            return kProbeError;
        return busy.count(address) != 0 || late.count(address) != 0 ? kProbeInUse : kProbeUnused;
    }
    std::set<uint32_t> busy;    // answer the echo
    std::set<uint32_t> late;    // answer only the confirmation's longer waits
    std::set<uint32_t> errors;  // the probe fails
    std::atomic<int> probes{0};
    std::atomic<int> confirmations{0};
};

class FakeNeighbours : public NeighbourTable {
public:
    std::set<uint32_t> ResolvedAddresses() override {
        std::lock_guard lock(mutex);
        return resolved;
    }
    void Set(std::set<uint32_t> addresses) {
        std::lock_guard lock(mutex);
        resolved = std::move(addresses);
    }
    std::mutex mutex;
    std::set<uint32_t> resolved;
};

// What the hosts of a case do: answer every probe, answer only the confirmation's longer
// waits, stand in the neighbour table, make the probe fail.
struct Hosts {
    std::set<uint32_t> busy{};
    std::set<uint32_t> late{};
    std::set<uint32_t> neighbours{};
    std::set<uint32_t> errors{};
};

// A probe and a neighbour table that behave as `hosts` say.
struct FakeLan {
    explicit FakeLan(const Hosts& hosts) {
        probe.busy = hosts.busy;
        probe.late = hosts.late;
        probe.errors = hosts.errors;
        neighbours.resolved = hosts.neighbours;
    }
    FakeProbe probe;
    FakeNeighbours neighbours;
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
