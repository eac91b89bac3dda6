#pragma once
// Fixed-size records exchanged with cameras. Their sizes and field order are part of
// the device record layout (answer block, device record), so they are checked at compile
// time. Every text field holds at most its size minus one character plus a terminating zero.

#include <cstddef>
#include <cstdint>

namespace camfleet {

#pragma pack(push, 1)
// Network settings of one camera (`LANConfig`). Packed: 342 bytes.
struct NetworkBlock {
    char macAddress[18];  // MacAddress
    int16_t dhcp;         // DHCP, 1 = on
    int16_t allNet;       // ALLNET, read but never written
    char ipAddress[64];   // IPAddress
    char netmask[64];     // Netmask
    char gateway[64];     // Gateway
    char dns1[64];        // DNS1
    char dns2[64];        // DNS2
};
#pragma pack(pop)
static_assert(sizeof(NetworkBlock) == 342);

// Stream and protocol access of one camera (`MediaStreamConfig`/`StreamAccess`). 472 bytes.
struct StreamAccessRecord {
    int32_t enableRtsp;        // enable_rtsp, default 1
    int32_t auth;              // Auth, default 1
    int32_t rtpOverRtsp;       // RTPOverRTSP, default 1
    int32_t videoPort;         // VideoPort, default 554
    int32_t enableComm;        // enable_comm, default 1
    int32_t ptzPort;           // PTZPort, default 8091 (the camera's SDK port)
    int32_t enableOnvif;       // enable_onvif, default 1
    int32_t enableWeb;         // enable_web, default 1
    int32_t onvifAuth;         // OnvifAuth, default 0
    int32_t webPort;           // WEBPort, default 80
    int32_t enableHik;         // enable_hik, default 1
    int16_t hikPort;           // hik_port, default 8000
    int16_t hikAuth;           // hik_auth, default 0
    int32_t enableDh;          // enable_dh, default 1
    uint16_t dhPort;           // dh_port, default 37777
    int16_t dhAuth;            // dh_auth, default 0
    int32_t enableTst;         // enable_tst, default 1
    int32_t enableRtmp;        // enable_rtmp, default 0
    char rtmpServer[64];       // rtmp_server
    int16_t rtmpPort;          // rtmp_port, default 1935
    int16_t streamNo;          // streamno, default 0
    char rtmpAppName[64];      // rtmp_appname
    char rtmpStreamId[256];    // rtmp_streamid
    int32_t rtmpType;          // rtmp_type, default 0
    int16_t multicast0Enable;  // Multicast0_enable
    uint16_t multicast0Port;   // Multicast0_port
    uint32_t multicast0Ip;     // Multicast0_IP
    int16_t multicast1Enable;  // Multicast1_enable
    uint16_t multicast1Port;   // Multicast1_port
    uint32_t multicast1Ip;     // Multicast1_IP
};
static_assert(sizeof(StreamAccessRecord) == 472);

// Login account of one camera (`UserConfig`/`Account`, the first one only). 148 bytes.
struct AccountRecord {
    int32_t found;      // 1 once an Account element was read
    char username[40];  // Username
    char password[40];  // Password
    char group[32];     // Group
    char status[32];    // Status
};
static_assert(sizeof(AccountRecord) == 148);

}  // namespace camfleet
