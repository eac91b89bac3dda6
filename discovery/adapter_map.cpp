#include "discovery/adapter_map.h"

#include <arpa/inet.h>

#include <QHostAddress>
#include <QNetworkInterface>

namespace camfleet {

namespace {

// First IPv4 address of the interface, network byte order; 0 when it has none.
uint32_t FirstIpv4(const QNetworkInterface& iface) {
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
        const QHostAddress ip = entry.ip();
        if (ip.protocol() == QAbstractSocket::IPv4Protocol)
            return htonl(ip.toIPv4Address());
    }
    return 0;
}

bool Wanted(const QNetworkInterface& iface, bool labMode) {
    const auto flags = iface.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp))
        return false;
    return flags.testFlag(QNetworkInterface::IsLoopBack) == labMode;
}

}  // namespace

AdapterMap EnumAdapters(bool labMode) {
    AdapterMap adapters;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (!Wanted(iface, labMode))
            continue;
        const uint32_t address = FirstIpv4(iface);
        if (address == 0 || address == 0xffffffffu)
            continue;
        adapters.emplace(address, AdapterInfo{address, iface.name().toStdString(),
                                              iface.humanReadableName().toStdString()});
    }
    return adapters;
}

std::string AddressText(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

uint32_t ParseAddress(const char* text) {
    in_addr in{};
    if (text == nullptr || inet_pton(AF_INET, text, &in) != 1)
        return 0xffffffffu;
    return in.s_addr;
}

}  // namespace camfleet
