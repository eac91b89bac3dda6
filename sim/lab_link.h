#pragma once
// One broadcast domain of the lab: a receiver for broadcasts and the cameras behind it.
// Owned by the lab thread.

#include <cstdint>
#include <string>
#include <vector>

namespace camfleet::sim {

struct LabLink {
    std::string receiveAddress;  // "127.255.255.255", or "0.0.0.0" with a device
    std::string device;          // camera-side interface of a LAN lab, else empty
    int prefix = 8;
    uint32_t firstAddress = 0;  // address of the link's first camera, host order
    uint32_t nextLease = 0;     // next DHCP address handed out, host order
    uint32_t pcAddress = 0;     // the PC end's address (LAN lab), never given to a camera
    int receiver = -1;          // socket of the receiver
    std::vector<int> cameras;   // indices into the lab's cameras
};

}  // namespace camfleet::sim
