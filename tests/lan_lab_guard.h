#pragma once
// Guard of the tests that build a LAN lab: they need root inside the private network
// namespace of scripts/netns-run.sh, and each moves into a namespace of its own so that
// labs of tests running at the same time never meet.

#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/lab_socket.h"

namespace camfleet::testing {

// Why a LAN lab cannot be built here; empty when it can.
inline std::string LanLabUnavailable() {
    if (geteuid() != 0)
        return "the LAN lab needs root";
    const char* inNetns = std::getenv("CAMFLEET_IN_NETNS");
    if (inNetns == nullptr || std::strcmp(inNetns, "1") != 0)
        return "not inside a private network namespace (scripts/netns-run.sh)";
    return {};
}

// Moves the calling process into a new network namespace with loopback up.
inline bool EnterOwnNetworkNamespace() {
    return unshare(CLONE_NEWNET) == 0 && sim::RunCommand({"ip", "link", "set", "lo", "up"}) == 0;
}

}  // namespace camfleet::testing
