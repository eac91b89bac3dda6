#pragma once
// Sockets and small system helpers of the simulated lab.

#include <cstdint>
#include <string>
#include <vector>

namespace camfleet::sim {

// Non-blocking UDP socket bound to `address` (dotted) and `port`, with SO_REUSEADDR and
// SO_REUSEPORT so several labs can share a port; bound to interface `device` when it is not
// empty. -1 on failure (errno set).
int OpenLabSocket(const std::string& address, uint16_t port, const std::string& device = "");

// Runs `argv` (searched in PATH), feeding `input` on its standard input; returns its exit
// status, or -1 when it could not be run. Runs in the calling thread's network namespace.
int RunCommand(const std::vector<std::string>& argv, const std::string& input = "");

// IPv4 address arithmetic on dotted texts (host order inside).
uint32_t HostOrder(const std::string& dotted);  // 0 for an invalid text
std::string Dotted(uint32_t hostOrder);

}  // namespace camfleet::sim
