#include "discovery/search_answer.h"

#include <cstring>
#include <initializer_list>

namespace camfleet {

SearchAnswer EmptySearchAnswer() {
    SearchAnswer answer;
    std::memset(&answer, 0, sizeof answer);
    answer.p2pStatus = -1;
    return answer;
}

void TerminateTextFields(SearchAnswer* a) {
    NetworkBlock& n = a->network;
    for (auto* field : {a->serialNumber, a->platformId, a->deviceType, a->uuid})
        field[31] = '\0';
    for (auto* field : {n.ipAddress, n.netmask, n.gateway, n.dns1, n.dns2, a->adapterAddress})
        field[63] = '\0';
    a->p2pId[127] = a->version[127] = a->osdText[255] = n.macAddress[17] = '\0';
    AccountRecord& u = a->account;
    u.username[39] = u.password[39] = u.group[31] = u.status[31] = '\0';
}

}  // namespace camfleet
