#include "sim/camera_profile.h"

#include <array>
#include <cstdio>
#include <random>

namespace camfleet::sim {

namespace {

constexpr std::array kModels = {
    "NVS-IPC-2M",           "DIR-OVADU-NVS3516E_V2", "NVS-F37-4MP_V1.2",
    "DIR-OVADU-NVS-PTZ_V3", "IPC-NVS-BULLET-5M",     "DIR-OVADU-NVS8M",
};
constexpr std::array kOsdTexts = {"Gate %d", "Lobby %d", "\xe5\x90\x8e\xe9\x97\xa8 %d",
                                  "Kamera %d"};

std::string Format(const char* format, auto... values) {
    char text[128];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string Letters(std::mt19937& rng, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += static_cast<char>('A' + rng() % 26);
    return text;
}

void SetIdentity(std::mt19937& rng, int index, CameraProfile* p) {
    p->serialNumber = Format("%08X%08X", unsigned(rng()), unsigned(rng()));
    p->platformId = Format("%06u%06u", unsigned(rng() % 1000000), unsigned(rng() % 1000000));
    p->p2pId = Format("NVSP-%06u-", unsigned(rng() % 1000000)) + Letters(rng, 5);
    p->uuid = Format("%u%05u", unsigned(rng() % 100000 + 1), unsigned(rng() % 100000));
    p->model = kModels[rng() % kModels.size()];
    p->version = Format("V5.%u.%u.2025%02u%02u", unsigned(rng() % 9), unsigned(rng() % 30),
                        unsigned(rng() % 12 + 1), unsigned(rng() % 28 + 1));
    p->osdText = Format(kOsdTexts[rng() % kOsdTexts.size()], index + 1);
    p->macAddress = Format("00:1a:2b:%02x:%02x:%02x", unsigned((index >> 16) & 0xff),
                           unsigned((index >> 8) & 0xff), unsigned(index & 0xff));
    p->p2pStatus = static_cast<int>(rng() % 2);
    p->initialRunningTime = static_cast<int>(rng() % 864000);
}

}  // namespace

CameraProfile MakeCameraProfile(uint32_t seed, int index, const std::string& ipAddress,
                                const CameraSubnet& subnet, int sdkPort) {
    std::mt19937 rng(seed * 1000003u + static_cast<uint32_t>(index));
    CameraProfile p;
    SetIdentity(rng, index, &p);
    p.ipAddress = ipAddress;
    p.netmask = subnet.netmask;
    p.gateway = subnet.gateway;
    p.dns1 = "8.8.8.8";
    p.dns2 = "114.114.114.114";
    p.ptzPort = sdkPort;
    return p;
}

}  // namespace camfleet::sim
