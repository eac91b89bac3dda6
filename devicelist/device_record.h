#pragma once
// The device record: one per list row, everything the tool keeps about a listed camera.
// It is the row's item data, created zero-filled with the row by the list merge and freed
// when the list is cleared; the live view's play context copies it whole, so it is a plain
// block of fixed size. Touched only on the thread that owns the list (the UI thread).
//
// Every text field holds at most its size minus one character plus a terminating zero.

#include <cstddef>
#include <cstdint>

#include "device/sdk/qv_netsdk_ipc.h"
#include "discovery/search_answer.h"

namespace camfleet {

inline constexpr std::size_t kDeviceRecordSize = 4568;

// A pending request of a read-change-write operation: flag and the wanted value.
struct PendingRequest {
    int32_t pending;  // 1 while the request waits for the camera's answer
    int32_t value;
};

struct DeviceRecord {
    SearchAnswer answer;        // last answer carried over from the device table
    char key[64];               // serial number the row belongs to (at most 63 characters)
    int32_t loginHandle;        // SDK login handle; 0 = none, valid when > 0
    uint8_t loggedIn;           // set by status event 4, cleared by 2, 3, 5 and 34
    uint8_t upgrading;          // set when an upgrade was started, cleared by its end or a logout
    char firmwareVersion[128];  // FileSystemVersion of control 1012
    char answerText[1024];      // answer text of control 1020
    char sdkSerialNumber[128];  // SerialNumber of control 1019 (checked before an SDK restore)
    int32_t snapshotPending;    // 1 while a front-end snapshot is awaited
    int64_t snapshotTime;       // when it was asked for, seconds
    PendingRequest tvSystem;    // wanted TV system
    PendingRequest nightMode;   // wanted day/night state
    PendingRequest onvifAllNet;
    PendingRequest hikSwitch;  // protocol switches: HIK, ONVIF, DH, TST
    PendingRequest onvifSwitch;
    PendingRequest dhSwitch;
    PendingRequest tstSwitch;
    QV_VIDEO_CAPTURE lastVideoCapture;  // from the last 504 answer (night-mode demonstration)
    int32_t printDone;                  // 1 once the print-mode cycle ran for this row
    uint32_t rowColor;  // colour an operation gave the row, as 0xAARRGGBB; alpha 0 = none
};

// The fields above, in order, with the natural alignment of their types: the 8-byte snapshot
// time is the only member that pads (2 bytes before the snapshot flag, 4 after it).
static_assert(sizeof(DeviceRecord) == kDeviceRecordSize);
static_assert(offsetof(DeviceRecord, key) == kSearchAnswerSize);
static_assert(offsetof(DeviceRecord, snapshotTime) == 4320);
static_assert(offsetof(DeviceRecord, lastVideoCapture) == 4384);

}  // namespace camfleet
