// The Linux neighbour table reader: which rows of /proc/net/arp count as resolved.

#include <gtest/gtest.h>

#include "platform/neighbour_table.h"
#include "platform/network_params.h"

namespace camfleet {
namespace {

uint32_t Ip(const char* text) {
    uint32_t address = 0;
    ParseDottedAddress(text, &address);
    return address;
}

TEST(NeighbourTable, ResolvedRowsOfProcNetArp) {
    const std::string text =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "192.168.1.2      0x1         0x2         02:00:00:00:00:02     *        veth0\n"
        "192.168.1.3      0x1         0x0         00:00:00:00:00:00     *        veth0\n"
        "192.168.1.4      0x1         0x6         02:00:00:00:00:04     *        veth0\n"
        "192.168.1.5      0x1         0x4         00:00:00:00:00:00     *        veth0\n"
        "192.168.1.6      0x1         0xA2        02:00:00:00:00:06     *        veth0\n"
        "192.168.1.7      0x1         junk        02:00:00:00:00:07     *        veth0\n"
        "192.168.1       0x1         0x2         02:00:00:00:00:08     *        veth0\n"
        "192.168.1.9      0x1\n"
        "\n";
    // .2 complete (reachable or stale), .4 permanent, .6 complete with other flags; .3 is
    // being resolved or failed, .5 has no link-layer address, the rest are malformed.
    EXPECT_EQ(ParseProcNetArp(text),
              (std::set<uint32_t>{Ip("192.168.1.2"), Ip("192.168.1.4"), Ip("192.168.1.6")}));
    EXPECT_TRUE(ParseProcNetArp("").empty());
    EXPECT_TRUE(ParseProcNetArp(text.substr(0, text.find('\n') + 1)).empty()) << "header only";
}

}  // namespace
}  // namespace camfleet
