#include "platform/icmp_probe.h"

namespace camfleet {

uint16_t InternetChecksum(const unsigned char* data, int size) {
    uint32_t sum = 0;
    for (int i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2 != 0)
        sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

void BuildEchoRequest(uint16_t attempt, uint32_t tick, unsigned char packet[12]) {
    packet[0] = 8;  // echo request
    packet[1] = 0;
    packet[2] = packet[3] = 0;
    packet[4] = static_cast<unsigned char>(attempt >> 8);
    packet[5] = static_cast<unsigned char>(attempt);
    packet[6] = packet[4];
    packet[7] = packet[5];
    packet[8] = static_cast<unsigned char>(tick >> 24);
    packet[9] = static_cast<unsigned char>(tick >> 16);
    packet[10] = static_cast<unsigned char>(tick >> 8);
    packet[11] = static_cast<unsigned char>(tick);
    const uint16_t checksum = InternetChecksum(packet, 12);
    packet[2] = static_cast<unsigned char>(checksum >> 8);
    packet[3] = static_cast<unsigned char>(checksum);
}

}  // namespace camfleet
