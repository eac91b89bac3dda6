// The Linux neighbour table: /proc/net/arp of the calling thread's network namespace.

#if defined(__linux__)

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/neighbour_table.h"
#include "platform/network_params.h"

namespace camfleet {

namespace {

constexpr unsigned long kArpComplete = 0x2;  // ATF_COM: the entry holds a link-layer address

class LinuxNeighbourTable : public NeighbourTable {
public:
    std::set<uint32_t> ResolvedAddresses() override {
        // A thread may sit in another namespace than the process (unshare of one thread).
        std::ifstream in("/proc/thread-self/net/arp");
        if (!in)
            in.open("/proc/net/arp");
        std::ostringstream text;
        text << in.rdbuf();
        return ParseProcNetArp(text.str());
    }
};

}  // namespace

std::set<uint32_t> ParseProcNetArp(const std::string& text) {
    std::set<uint32_t> resolved;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);  // IP address, HW type, Flags, HW address, Mask, Device
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, hardwareType, flags;
        uint32_t parsed = 0;
        if (!(fields >> address >> hardwareType >> flags) || !ParseDottedAddress(address, &parsed))
            continue;
        char* end = nullptr;
        const unsigned long value = std::strtoul(flags.c_str(), &end, 16);
        if (end != flags.c_str() && *end == '\0' && (value & kArpComplete) != 0)
            resolved.insert(parsed);
    }
    return resolved;
}

std::unique_ptr<NeighbourTable> MakeSystemNeighbourTable() {
    return std::make_unique<LinuxNeighbourTable>();
}

}  // namespace camfleet

#endif  // __linux__
