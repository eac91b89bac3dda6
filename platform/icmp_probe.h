#pragma once
// Whether an IPv4 address is in use: an ICMP echo request, answered or not. Behind an
// interface so that each system has its own socket code and tests can hand in a fixed answer.

#include <cstdint>
#include <stop_token>

namespace camfleet {

enum ProbeResult : int {
    kProbeInUse = 1,   // the address answered an echo request
    kProbeUnused = 0,  // no valid answer after every attempt
    kProbeError = -1,  // socket, send, wait or receive error
};

class AddressProbe {
public:
    virtual ~AddressProbe() = default;
    // Probes `address` (host byte order). Blocks for at most a few hundred milliseconds.
    // Thread-safe: several threads may probe at the same time.
    virtual int Probe(uint32_t address) = 0;
    // Probes again, with longer waits, an address that Probe found silent: an answer delayed
    // by a loaded machine or a slow neighbour resolution still counts. Blocks for up to about
    // a second and a half; a stop request ends it within one wait (the result is then
    // kProbeUnused unless an answer came). Thread-safe. The default is Probe.
    virtual int Confirm(uint32_t address, std::stop_token stop) {
        (void)stop;
        return Probe(address);
    }
};

// printf-style sink for the probe's diagnostic texts (each carries its own "\n").
using ProbeLogFunction = int (*)(const char* format, ...);

// The ICMP echo probe: a 12-byte echo request (type 8, code 0, Internet checksum, identifier
// and sequence both the attempt number, then the low 32 bits of a millisecond tick), up to
// 100 ms of waiting per attempt, two attempts; a stray or malformed answer is followed by a
// 100 ms pause and uses up its attempt. The confirmation makes three attempts of up to 400 ms
// each on one socket, so an answer to an earlier attempt still counts, and together they
// outlast one lost neighbour-resolution request (resent after 1 s). On Linux it uses an
// unprivileged ICMP datagram socket where net.ipv4.ping_group_range allows it and a raw
// socket otherwise; the socket is connected to the probed address, so probes running side by
// side never see each other's answers. Waits use poll(), so any descriptor number works.
class IcmpProbe : public AddressProbe {
public:
    explicit IcmpProbe(ProbeLogFunction log = nullptr) : log_(log) {}
    int Probe(uint32_t address) override;
    int Confirm(uint32_t address, std::stop_token stop) override;

    static constexpr int kAttempts = 2;
    static constexpr int kWaitMs = 100;
    static constexpr int kPauseMs = 100;
    static constexpr int kConfirmAttempts = 3;
    static constexpr int kConfirmWaitMs = 400;

private:
    int Echo(uint32_t address, int attempts, int waitMs, const std::stop_token& stop);

    ProbeLogFunction log_;
};

// Builds the 12-byte echo request into `packet`.
void BuildEchoRequest(uint16_t attempt, uint32_t tick, unsigned char packet[12]);
// The Internet checksum (ones' complement sum of 16-bit big-endian words) of `size` bytes.
uint16_t InternetChecksum(const unsigned char* data, int size);

}  // namespace camfleet
