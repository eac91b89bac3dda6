#pragma once
// The system's IPv4 neighbour table (ARP): which addresses of the attached links a host has
// answered for lately. An address found there is held by someone even when its echo answer
// came too late or never came (a host that drops pings), so the address searches count it as
// in use. Behind an interface so that each system has its own reader and tests can hand in a
// fixed table.
//
// Addresses are IPv4 in host byte order.

#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace camfleet {

class NeighbourTable {
public:
    virtual ~NeighbourTable() = default;
    // The addresses whose entry holds a link-layer address: reachable, stale, being
    // re-checked, permanent. Entries still being resolved, or whose resolution failed, are
    // left out. Empty when the table cannot be read. Thread-safe.
    virtual std::set<uint32_t> ResolvedAddresses() = 0;
};

// The table of the running system, as seen from the calling thread's network namespace.
std::unique_ptr<NeighbourTable> MakeSystemNeighbourTable();

// The resolved addresses of Linux's /proc/net/arp text: the rows whose flags carry
// ATF_COM (0x2). The header line and malformed rows are passed over.
std::set<uint32_t> ParseProcNetArp(const std::string& text);

}  // namespace camfleet
