#pragma once
// Local IPv4 adapters as the search sees them. Built afresh whenever needed; never kept
// up to date.

#include <cstdint>
#include <map>
#include <string>

namespace camfleet {

// One adapter: its first IPv4 address and a description for the netcard box.
struct AdapterInfo {
    uint32_t address = 0;     // network byte order (as inet_addr returns it)
    std::string name;         // interface name, e.g. "eth0"
    std::string description;  // human-readable name
};

// Key: the adapter's first IPv4 address in network byte order, compared as an unsigned
// integer. Iterated in ascending key order.
using AdapterMap = std::map<uint32_t, AdapterInfo>;

// Socket per adapter address; -1 when opening it failed. Owned by whoever built it.
using SocketMap = std::map<uint32_t, int>;

// Every adapter that is up, keyed by its first IPv4 address; addresses 0.0.0.0 and
// 255.255.255.255 are left out. Loopback adapters are left out unless `labMode`, in which
// case the loopback adapter is the only one.
AdapterMap EnumAdapters(bool labMode);

// Dotted text of an address in network byte order.
std::string AddressText(uint32_t address);
// Address in network byte order from dotted text; 0xffffffff when the text is not one.
uint32_t ParseAddress(const char* text);

}  // namespace camfleet
