#pragma once
// Time limits and caps of the device SDK (docs/camera-protocol.md, "Timeouts before and after
// login" and "Limits"). The values
// in force are copied when QV_NETSDK_IPC_Init starts the SDK; tests shorten them through
// SetSdkTimingForTesting before Init so that nothing waits seconds.

namespace camfleet::sdk {

struct SdkTiming {
    int connectTimeoutMs = 5000;    // TCP connect, then event 3
    int handshakeTimeoutMs = 5000;  // hello and login answer, then event 34
    int syncTimeoutMs = 3000;       // synchronous calls, then QV_ERR_TIMEOUT
    int asyncTimeoutMs = 10000;     // GetDVRConfig/SetDVRConfig answers, then status 253
    int keepAliveMs = 10000;        // used until the login answer names another interval
    int reconnectFirstMs = 1000;    // first retry after a loss; doubles per failed try
    int reconnectMaxMs = 8000;
    int maxConnectsInFlight = 256;
    int bulkStallMs = 10000;  // a bulk connection on which nothing moved this long is closed
    // What one camera may make the tool hold; a logged-in session beyond either is closed and
    // reported as event 38.
    int maxEventsPerSecond = 100;       // sustained; as many may come at once
    int maxHookBacklog = 1024;          // events and answers waiting for the hooks
    int maxHookBacklogBytes = 8388608;  // their payload bytes
};

// Thread-safe. Takes effect at the next QV_NETSDK_IPC_Init.
void SetSdkTimingForTesting(const SdkTiming& timing);
SdkTiming CurrentSdkTiming();

}  // namespace camfleet::sdk
