#pragma once
/*
 * Device SDK: login-based access to cameras over the camfleet camera-control protocol
 * (docs/camera-protocol.md). A C call contract so the tool, the CLI and tests use one
 * interface whatever implements it.
 *
 * Conventions
 *  - Return values: 0 = success unless stated; negative = failure (QV_ERR_*).
 *  - Login handles are > 0; 0 and negative values are never valid handles.
 *  - Texts are narrow strings in the system's ANSI code page (UTF-8 on Linux).
 *  - Hooks run on the SDK's own threads, never on the caller's; they must return quickly and
 *    must not call back into the SDK for the same handle while holding their own locks.
 *  - Every call is thread-safe.
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Error codes ---------------------------------------------------------------------- */
#define QV_OK 0
#define QV_ERR_NOT_INIT (-1)      /* QV_NETSDK_IPC_Init was not called */
#define QV_ERR_PARAM (-2)         /* a null pointer, an empty address, a bad port or size */
#define QV_ERR_HANDLE (-3)        /* no such login handle */
#define QV_ERR_NOT_CONNECTED (-4) /* the session is not logged in (yet, or any more) */
#define QV_ERR_SEND (-5)          /* the request could not be sent */
#define QV_ERR_TIMEOUT (-6)       /* no answer in time (synchronous calls only) */
#define QV_ERR_REFUSED (-7)       /* the camera answered with a failure status */
#define QV_ERR_NO_MEMORY (-8)
#define QV_ERR_FILE (-9)  /* a local file could not be read or written */
#define QV_ERR_BUSY (-10) /* the handle runs a firmware upgrade already */

/* ---- Status events (type argument of the status hook) ---------------------------------- */
#define QV_EVENT_DISCONNECTED 2   /* an established session was lost */
#define QV_EVENT_CONNECT_FAILED 3 /* the camera could not be reached */
#define QV_EVENT_LOGGED_IN 4      /* login accepted; the handle is usable */
#define QV_EVENT_AUTH_FAILED 5    /* user name or password refused */
#define QV_EVENT_TALK_STARTED 6
#define QV_EVENT_TALK_DATA 7
#define QV_EVENT_TALK_STOPPED 8
#define QV_EVENT_UPGRADE_DONE 14 /* firmware accepted; the camera restarts */
#define QV_EVENT_UPGRADE_FAILED 15
#define QV_EVENT_FILE_DONE 16 /* file transfer finished; data: RESPONSE_PARAM text */
#define QV_EVENT_FILE_FAILED 17
#define QV_EVENT_ALARM 23        /* data: QV_ALARM_INFO (168 bytes) */
#define QV_EVENT_CUSTOM_MODEL 24 /* data: 536-byte record */
#define QV_EVENT_RECORD_25 25    /* data: 276-byte record */
#define QV_EVENT_MEDIA_INFO 30   /* data: 1,360-byte record */
#define QV_EVENT_BUSY 32         /* the camera is busy with another client's request */
#define QV_EVENT_LOGIN_FAILED 34 /* login failed for another reason */
#define QV_EVENT_TALK_BUSY 35
#define QV_EVENT_TALK_PARAM_ERROR 36
#define QV_EVENT_TALK_NOT_SUPPORTED 37
#define QV_EVENT_OVER_LIMIT 38  /* session closed: the camera sent more than the SDK takes */
#define QV_EVENT_KEY_CHANGED 39 /* the camera showed another key than the one pinned for it */
#define QV_EVENT_UPGRADE_PROGRESS 54
#define QV_EVENT_UPGRADE_PROGRESS_2 55

/* Alarm record of status event 23. 168 bytes; offsets are part of the contract. Every field
 * comes from the camera and is untrusted. */
#define QV_ALARM_SNAPSHOT 23 /* alarmType of a snapshot result */
typedef struct QV_ALARM_INFO {
    int32_t alarmType;   /*   0: alarm kind. 1 and 2 leave the device's state text as it is;
                          *      QV_ALARM_SNAPSHOT (23) answers a snapshot request and names
                          *      the picture in alarmText; other kinds are shown as alarms. */
    int32_t year;        /*   4: camera's local time of the alarm: year, e.g. 2024 */
    int32_t month;       /*   8: 1..12 */
    int32_t day;         /*  12: 1..31 */
    int32_t hour;        /*  16: 0..23 */
    int32_t minute;      /*  20: 0..59 */
    int32_t second;      /*  24: 0..59 */
    char alarmText[140]; /*  28..167: alarm text in the ANSI code page, zero-terminated when
                          *      shorter than the field; a camera may fill the field whole, so
                          *      read at most 140 bytes. May carry the camera-side paths of
                          *      alarm pictures after "@@alarmjpg1=" and "@@alarmjpg2=". */
} QV_ALARM_INFO;

/* Status hook: (login handle, event type, data, user) -> 0. Data is a zero-terminated text,
 * or a fixed record for types 23 (168 bytes), 24 (536), 25 (276), 30 (1360). Valid only for
 * the duration of the call. */
typedef int (*QV_NETSDK_IPC_StatusEventCallBack)(int loginHandle, int eventType, const void* data,
                                                 void* user);

/* Response hook: (login handle, code word, response text, user) -> 0. Code word: low 24 bits
 * = command code, top 8 bits = status (0 = success). The text is valid during the call. */
typedef int (*QV_NETSDK_IPC_AUXResponseCallBack)(int loginHandle, uint32_t codeWord,
                                                 const char* response, void* user);

/* ---- Life cycle ---------------------------------------------------------------------- */
int QV_NETSDK_IPC_Init(void);
/* Logs every session out and stops the SDK's threads; Init may be called again afterwards.
 * No hook runs once it has returned. Refused (QV_ERR_PARAM) when called from a hook. Also
 * done at process exit. */
int QV_NETSDK_IPC_Cleanup(void);
/* Version as 0xMMmmpppp (major, minor, patch) and build date as yyyymmdd. */
uint32_t QV_NETSDK_IPC_GetSDKVersion(void);
uint32_t QV_NETSDK_IPC_GetSDKBuildData(void);
int QV_NETSDK_IPC_SetStatusEventCallBack(QV_NETSDK_IPC_StatusEventCallBack hook, void* user);
int QV_NETSDK_IPC_SetAUXResponseCallBack(QV_NETSDK_IPC_AUXResponseCallBack hook, void* user);
/* handle 0 sets the default for sessions created later; enable 1 = re-establish a dropped
 * session (reported as event 4 again), 0 = report event 2 and stay disconnected. */
int QV_NETSDK_IPC_SetAutoReconnect(int loginHandle, int enable);

/* ---- Sessions -------------------------------------------------------------------------- */
/* Returns a handle > 0 at once for valid arguments and connects in the background; the
 * outcome arrives as status event 4 (logged in), 5 (refused), 3 (unreachable) or 34.
 * Returns <= 0 only for invalid arguments or when the SDK is not initialised. */
int QV_NETSDK_IPC_Login(const char* ip, int port, const char* user, const char* password,
                        int reserved);
int QV_NETSDK_IPC_Logout(int loginHandle);
int QV_NETSDK_IPC_LogoutAll(void);

/* ---- Configuration documents ----------------------------------------------------------- */
/* 0 = request accepted; the document (read) or the final status (write) arrives later through
 * the response hook under the same command code, exactly once per accepted request: status
 * 253 when no answer came within 10 s, 254 when the session was lost first. A read goes out
 * marked as a read: the camera never changes anything for it, whatever `in` holds. `channel`
 * is 0 .. 255 (QV_ERR_PARAM otherwise); the cameras of this family have channel 0 only. */
int QV_NETSDK_IPC_GetDVRConfig(int loginHandle, int command, int channel, const char* in,
                               int inLength, void* reserved);
int QV_NETSDK_IPC_SetDVRConfig(int loginHandle, int command, int channel, const char* xml,
                               int length);

/* ---- Files (bulk-data channel) --------------------------------------------------------- */
/* Upgrade: 0 = the firmware file started on its way (it is read from disk as it goes).
 * Progress arrives as events 54 (the file travels) and 55 (the camera writes it), the outcome
 * as event 14 (accepted, the camera restarts) or 15 (refused, or the transfer or session
 * failed). QV_ERR_BUSY while a firmware file of the handle is still on its way, QV_ERR_FILE
 * for a file that cannot be read. GetUpgradeProgress: the percentage (0 to 100) of the
 * handle's upgrade, the transfer counting for the first half; it answers at once. */
int QV_NETSDK_IPC_Upgrade(int loginHandle, const char* path);
int QV_NETSDK_IPC_GetUpgradeProgress(int loginHandle);
/* SetConfigFile: uploads the file as a configuration file under its own name and waits until
 * the camera took it (0) or the transfer failed (QV_ERR_REFUSED: the camera refused it). It
 * blocks for the whole transfer: call it off the UI thread. UploadOEMAppFile: 0 = the upload
 * started; the camera reports event 16 (taken) or 17 (refused or broken), the SDK event 17
 * when the transfer never reached the camera or the session went. */
int QV_NETSDK_IPC_SetConfigFile(int loginHandle, const char* path);
int QV_NETSDK_IPC_UploadOEMAppFile(int loginHandle, const char* path);
/* GetFileByName: 0 = the download of the camera's file `name` (type 1: a picture) to `path`
 * started; the SDK raises event 16 once the file is there (written as "<path>.part" and
 * renamed when whole) or 17 when it failed, both with <RESPONSE_PARAM LocalFileName="path" />.
 * QV_ERR_PARAM for another type, a name the bulk channel cannot carry (docs/camera-protocol.md,
 * "Opening") or an empty path. */
int QV_NETSDK_IPC_GetFileByName(int loginHandle, int type, const char* name, const char* path);
/* GetConfigFile: 0 = the download of the camera's whole configuration (a NORVEKConfig
 * document) to `path` started; events 16 and 17 as for GetFileByName. QV_ERR_PARAM for an
 * empty path. */
int QV_NETSDK_IPC_GetConfigFile(int loginHandle, const char* path);

/* ---- Commands answered at once (synchronous, bounded wait) ------------------------------ */
/* Each waits up to 3 s for the camera's answer: 0 = accepted, QV_ERR_REFUSED = a failure
 * status, QV_ERR_TIMEOUT = no answer in time, QV_ERR_NOT_CONNECTED = not logged in or the
 * session was lost meanwhile. They may be called from a hook (not from the I/O thread, which
 * never runs caller code).
 * SystemControl sends a system command with its REQUEST_PARAM text; the camera's answer
 * (status and document) also arrives through the response hook under the same code, but only
 * when an answer came. */
int QV_NETSDK_IPC_SystemControl(int loginHandle, int code, void* reserved, const char* text);
int QV_NETSDK_IPC_RebootDVR(int loginHandle);
int QV_NETSDK_IPC_RestoreConfig(int loginHandle);
int QV_NETSDK_IPC_PTZControl(int loginHandle, int command, int param1, int param2);
int QV_NETSDK_IPC_PTZPreset(int loginHandle, int command, int preset);
int QV_NETSDK_IPC_CreateIFrame(int loginHandle, int stream);

/* ---- Structure <-> XML converters --------------------------------------------------------
 * XMLGET_* return a heap text to release with QV_NETSDK_IPC_XMLGET_SAFE_FREE (null on failure).
 * get*ByXml fill the structure from a document and return 0, or a negative error leaving the
 * structure unchanged. */

/* Video capture (codes 504 read / 524 write). 176 bytes; offsets are part of the contract. */
typedef struct QV_VIDEO_CAPTURE {
    int32_t brightness;    /*   0: 0..255 */
    int32_t contrast;      /*   4: 0..255 */
    int32_t saturation;    /*   8: 0..255 */
    int32_t sharpness;     /*  12: 0..255 */
    int32_t tvSystem;      /*  16: 1 = PAL (50 Hz), 0 = NTSC (60 Hz) */
    int32_t backLight;     /*  20: 0 off, 1 on */
    int32_t mirror;        /*  24: horizontal mirror, 0/1 */
    int32_t flip;          /*  28: vertical flip, 0/1 */
    int32_t rotation;      /*  32: degrees 0, 90, 180, 270 */
    int32_t gain;          /*  36: 0..100 */
    int32_t shutter;       /*  40: 0 auto, else 1/n seconds */
    int32_t irCutMode;     /*  44: 0 auto, 1 day, 2 night */
    int32_t ledMode;       /*  48: 0 auto, 1 on, 2 off */
    int32_t wdr;           /*  52: 0/1 */
    int32_t wdrLevel;      /*  56: 0..100 */
    int32_t defog;         /*  60: 0/1 */
    int32_t defogLevel;    /*  64: 0..100 */
    int32_t whiteBalance;  /*  68: 0 auto, 1 indoor, 2 outdoor, 3 manual */
    int32_t noiseFilter;   /*  72: 0..100 */
    int32_t reserved1[12]; /*  76..123 */
    int32_t dayNightMode;  /* 124: 0 auto, 1 day, 2 night, 3 forced night (demonstration) */
    int32_t reserved2[12]; /* 128..175 */
} QV_VIDEO_CAPTURE;

/* Network (codes 305 read / 325 write). Same layout as the discovery network block. */
#pragma pack(push, 1)
typedef struct QV_NETWORK_LAN_CFG {
    char macAddress[18];
    int16_t dhcp;
    int16_t allNet; /* ONVIF all-net flag */
    char ipAddress[64];
    char netmask[64];
    char gateway[64];
    char dns1[64];
    char dns2[64];
} QV_NETWORK_LAN_CFG;
#pragma pack(pop)

/* Audio capture (codes 507 read / 527 write). 24 bytes; offsets are part of the contract. */
typedef struct QV_AUDIO_CAPTURE {
    int32_t inputType;      /*  0: 0 microphone, 1 line in */
    int32_t sampleRate;     /*  4: Hz */
    int32_t encoding;       /*  8: 0 G.711A, 1 G.711U, 2 AAC, 3 PCM */
    int16_t captureVolume;  /* 12: 0..100 */
    int16_t playbackVolume; /* 14: 0..100 */
    int32_t echoCancel;     /* 16: 0/1 */
    int32_t keyAnswer;      /* 20: 0 disabled, 1 enabled */
} QV_AUDIO_CAPTURE;

char* QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(const QV_VIDEO_CAPTURE* capture);
int QV_NETSDK_IPC_Media_getVideoCaptureByXml(const char* xml, QV_VIDEO_CAPTURE* capture);
char* QV_NETSDK_IPC_XMLGET_NetworkLANConfig(const QV_NETWORK_LAN_CFG* lan);
int QV_NETSDK_IPC_Network_getLANCfgByXml(const char* xml, QV_NETWORK_LAN_CFG* lan);
char* QV_NETSDK_IPC_XMLGET_AudioCaptureConfig(const QV_AUDIO_CAPTURE* audio);
int QV_NETSDK_IPC_Media_getAudioCaptureByXml(const char* xml, QV_AUDIO_CAPTURE* audio);
void QV_NETSDK_IPC_XMLGET_SAFE_FREE(char* text);

#ifdef __cplusplus
} /* extern "C" */

#include "device/codes.h"

// The macros above are the C face of the shared code table; they must say the same.
static_assert(QV_EVENT_DISCONNECTED == camfleet::kEventDisconnected);
static_assert(QV_EVENT_CONNECT_FAILED == camfleet::kEventConnectFailed);
static_assert(QV_EVENT_LOGGED_IN == camfleet::kEventLoggedIn);
static_assert(QV_EVENT_AUTH_FAILED == camfleet::kEventAuthFailed);
static_assert(QV_EVENT_TALK_STARTED == camfleet::kEventTalkStarted);
static_assert(QV_EVENT_TALK_DATA == camfleet::kEventTalkData);
static_assert(QV_EVENT_TALK_STOPPED == camfleet::kEventTalkStopped);
static_assert(QV_EVENT_UPGRADE_DONE == camfleet::kEventUpgradeDone);
static_assert(QV_EVENT_UPGRADE_FAILED == camfleet::kEventUpgradeFailed);
static_assert(QV_EVENT_FILE_DONE == camfleet::kEventFileDone);
static_assert(QV_EVENT_FILE_FAILED == camfleet::kEventFileFailed);
static_assert(QV_EVENT_ALARM == camfleet::kEventAlarm);
static_assert(QV_EVENT_CUSTOM_MODEL == camfleet::kEventCustomModel);
static_assert(QV_EVENT_RECORD_25 == camfleet::kEventRecord25);
static_assert(QV_EVENT_MEDIA_INFO == camfleet::kEventMediaInfo);
static_assert(QV_EVENT_BUSY == camfleet::kEventBusy);
static_assert(QV_EVENT_LOGIN_FAILED == camfleet::kEventLoginFailed);
static_assert(QV_EVENT_TALK_BUSY == camfleet::kEventTalkBusy);
static_assert(QV_EVENT_OVER_LIMIT == camfleet::kEventOverLimit);
static_assert(QV_EVENT_KEY_CHANGED == camfleet::kEventKeyChanged);
static_assert(QV_EVENT_TALK_PARAM_ERROR == camfleet::kEventTalkParamError);
static_assert(QV_EVENT_TALK_NOT_SUPPORTED == camfleet::kEventTalkNotSupported);
static_assert(QV_EVENT_UPGRADE_PROGRESS == camfleet::kEventUpgradeProgress);
static_assert(QV_EVENT_UPGRADE_PROGRESS_2 == camfleet::kEventUpgradeProgress2);
static_assert(QV_ALARM_SNAPSHOT == camfleet::kAlarmSnapshot);

static_assert(sizeof(QV_ALARM_INFO) == 168);
static_assert(offsetof(QV_ALARM_INFO, hour) == 16);
static_assert(offsetof(QV_ALARM_INFO, alarmText) == 28);
static_assert(sizeof(QV_VIDEO_CAPTURE) == 176);
static_assert(offsetof(QV_VIDEO_CAPTURE, tvSystem) == 16);
static_assert(offsetof(QV_VIDEO_CAPTURE, mirror) == 24);
static_assert(offsetof(QV_VIDEO_CAPTURE, flip) == 28);
static_assert(offsetof(QV_VIDEO_CAPTURE, dayNightMode) == 124);
static_assert(sizeof(QV_NETWORK_LAN_CFG) == 342);
static_assert(sizeof(QV_AUDIO_CAPTURE) == 24);
static_assert(offsetof(QV_AUDIO_CAPTURE, captureVolume) == 12);
static_assert(offsetof(QV_AUDIO_CAPTURE, playbackVolume) == 14);
static_assert(offsetof(QV_AUDIO_CAPTURE, keyAnswer) == 20);
#endif
