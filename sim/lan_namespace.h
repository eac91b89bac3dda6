#pragma once
// A LAN for the simulated cameras: one veth pair per subnet, the PC end (address .253)
// in the current network namespace, the camera end in a private namespace held by a
// child process. Root only, and only in a namespace that has no other non-loopback
// interface, so it can never touch a real network.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace camfleet::sim {

struct LanSubnet {
    uint32_t base = 0;  // network address, host order
    int prefix = 24;
};

// Parses "192.168.1.0/24" (prefix 8 to 24). False for anything else.
bool ParseLanSubnet(const std::string& text, LanSubnet* subnet);
std::string NetmaskText(int prefix);

class LanNamespace {
public:
    LanNamespace() = default;
    ~LanNamespace() { Destroy(); }
    LanNamespace(const LanNamespace&) = delete;
    LanNamespace& operator=(const LanNamespace&) = delete;

    // Creates the pairs "cfpc<k>"/"cfcam<k>" for subnet k. 0, or -1 with `error` set.
    int Create(const std::vector<LanSubnet>& subnets, std::string* error);
    // Removes the pairs and ends the namespace holder. Safe to call twice.
    void Destroy();

    // Descriptor of the camera namespace (for setns); -1 before Create.
    int NamespaceFd() const { return nsFd_; }
    static std::string CameraEnd(int k) { return "cfcam" + std::to_string(k); }
    static std::string PcEnd(int k) { return "cfpc" + std::to_string(k); }

    // Names of interfaces of the current namespace other than loopback.
    static std::vector<std::string> ForeignInterfaces();

private:
    int StartHolder(std::string* error);
    int AddPair(int k, const LanSubnet& subnet, std::string* error);

    pid_t holder_ = -1;
    int holderPipe_ = -1;  // write end; the holder exits when it closes
    int nsFd_ = -1;
    int pairs_ = 0;
};

}  // namespace camfleet::sim
