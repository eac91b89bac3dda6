#pragma once
// Small POSIX socket helpers shared by the SDK's I/O thread and the simulated cameras.
// Every socket made here is non-blocking and close-on-exec. Any thread may call them.

#include <cstdint>
#include <string>

#include "platform/wake_pipe.h"

namespace camfleet::sdk {

// Starts a non-blocking TCP connect to ip:port. Returns the socket (connect in progress or
// done) or -1 (bad address, no socket, or an immediate refusal).
int StartConnect(const std::string& ip, uint16_t port);
// After the socket became writable: 0 when connected, else the socket error.
int ConnectResult(int fd);
// A listening TCP socket on ip:port (port 0: any free port), address reuse on. -1 on failure
// with `error` set.
int Listen(const std::string& ip, uint16_t port, std::string* error);
// The local port of a bound socket (0 on failure).
uint16_t LocalPort(int fd);
// Accepts one connection as a non-blocking socket, or -1 with errno from accept.
int AcceptOne(int listenFd);
// The dotted IPv4 address of a connected socket's peer; empty when unknown.
std::string PeerAddress(int fd);
// Sends as much of `out` as the socket takes and removes it from `out`. false on a socket
// error (a full send buffer is not an error).
bool SendSome(int fd, std::string* out);
// Reads what is there into `in` (appended). 1 = read something, 0 = nothing yet,
// -1 = closed by the peer or error.
int ReceiveSome(int fd, std::string* in);
void CloseSocket(int fd);

// The poll loops of the SDK and of the simulated cameras are woken through it.
using camfleet::WakePipe;

}  // namespace camfleet::sdk
