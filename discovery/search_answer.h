#pragma once
// The answer block: one discovery answer boiled down to a fixed 2,960-byte record. It is
// copied, compared and stored as a unit; every reader asks for at least kSearchAnswerSize
// bytes. Every text field holds at most its size minus one character and a terminating zero.

#include <cstddef>
#include <cstdint>

#include "device/records.h"

namespace camfleet {

inline constexpr std::size_t kSearchAnswerSize = 2960;
inline constexpr std::size_t kAccountBlockSize = 1204;

struct SearchAnswer {
    char serialNumber[32];  // SerialNumber; the device table key
    char platformId[32];    // PLATFORMID
    char p2pId[128];        // P2PID
    char deviceType[32];    // DeviceType, the model
    AccountRecord account;  // UserConfig/Account, first of a 1,204-byte account block
    char accountRest[kAccountBlockSize - sizeof(AccountRecord)];  // zero
    StreamAccessRecord streamAccess;  // only Auth, RTPOverRTSP, VideoPort, PTZPort, WEBPort
    NetworkBlock network;             // LANConfig
    char reserved1[226];
    int32_t runningTime;  // runtime, seconds; 0 when absent
    int32_t reserved2;
    int32_t p2pStatus;        // P2PSTATUS; -1 when absent
    char adapterAddress[64];  // dotted local address of the adapter that received it
    char osdText[256];        // OSD, hex-decoded and converted
    char version[128];        // VERSION
    char uuid[32];            // UUID (a decimal number as text)
};

static_assert(sizeof(SearchAnswer) == kSearchAnswerSize);
static_assert(offsetof(SearchAnswer, account) == 224);
static_assert(offsetof(SearchAnswer, streamAccess) == 1428);
static_assert(offsetof(SearchAnswer, network) == 1900);
static_assert(offsetof(SearchAnswer, runningTime) == 2468);
static_assert(offsetof(SearchAnswer, adapterAddress) == 2480);
static_assert(offsetof(SearchAnswer, uuid) == 2928);

// A zero-filled block with P2P status -1 (the state before an answer is parsed into it).
SearchAnswer EmptySearchAnswer();

// Zero-terminates every text field (a block copied in from a caller may not be).
void TerminateTextFields(SearchAnswer* answer);

}  // namespace camfleet
