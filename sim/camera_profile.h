#pragma once
// What one simulated camera is: its identity and the settings it reports in a discovery
// answer. Generated from a seed so that runs repeat.

#include <cstdint>
#include <string>

namespace camfleet::sim {

struct CameraProfile {
    // Identity (never changed by commands).
    std::string serialNumber;  // e.g. "5A3F09C21B7E44D0"
    std::string platformId;    // 12 digits
    std::string p2pId;         // e.g. "NVSP-483920-KXRTW"
    std::string uuid;          // a decimal number
    std::string model;         // contains "NVS", e.g. "DIR-OVADU-NVS3516E_V2"
    std::string version;       // firmware version
    std::string osdText;       // UTF-8; sent as hex
    std::string macAddress;    // "00:1a:2b:xx:xx:xx"
    int p2pStatus = 1;
    int initialRunningTime = 0;  // seconds already running when the lab starts
    // Network block.
    int dhcp = 0;
    int allNet = 0;
    std::string ipAddress, netmask, gateway, dns1, dns2;
    // Stream access (the five attributes an answer carries).
    int auth = 1, rtpOverRtsp = 1, videoPort = 554, ptzPort = 8091, webPort = 80;
    // Account (the factory account).
    std::string username = "admin", password = "730418";
    std::string group = "Administrator", status = "Enable";
};

// Network a lab camera sits on.
struct CameraSubnet {
    std::string netmask = "255.0.0.0";
    std::string gateway = "127.0.0.1";
};

// Camera number `index` of the lab with `seed`, at `ipAddress`, SDK port `sdkPort`.
CameraProfile MakeCameraProfile(uint32_t seed, int index, const std::string& ipAddress,
                                const CameraSubnet& subnet, int sdkPort);

}  // namespace camfleet::sim
