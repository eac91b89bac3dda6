#pragma once
// The numbers the tool shares with its cameras and with itself: configuration codes,
// system-control codes, status-event kinds, alarm kinds, discovery message codes and the
// ids of the main window's controls and commands. The window, the core, the CLI, the
// simulator and the tests all take them from here, so a code means the same on both ends.
//
// Numbers only: no includes, no Qt. Every folder may include this header (resources/ too,
// for the display-switch table). The SDK's C header keeps its QV_EVENT_* macros for C
// callers and checks them against this table.
//
// Wire framing codes of the camera-control protocol (hello, login, keep-alive, ...) are not
// here: they belong to the protocol itself (device/sdk/control_protocol.h).

namespace camfleet {

// ---- Configuration codes ---------------------------------------------------------------
// Reads go out as GetDVRConfig, writes as SetDVRConfig with the document text. A read code
// and its write code name the same document (504 / 524, ...); the other writes have no read.
enum ConfigCode : int {
    kCmdSetTime = 222,
    kCmdSetAdminPassword = 223,
    kCmdSetLanguage = 227,
    kCmdSetMaintenance = 228,
    kCmdGetNetwork = 305,
    kCmdSetNetwork = 325,
    kCmdSetP2p = 335,
    kCmdGetVideoCapture = 504,
    kCmdGetAudioCapture = 507,
    kCmdSetVideoEncoding = 523,
    kCmdSetVideoCapture = 524,
    kCmdSetOverlay = 525,
    kCmdSetAudioCapture = 527,
    kCmdSetAudioEncoding = 528,
    kCmdGetStreamAccess = 600,
    kCmdSetStreamAccess = 620,
    kCmdSetPlatform = 670,
    kCmdSetMotionDetect = 822,
};

// The read code of the document a write code changes, or 0 for a write without a read.
constexpr int ReadCodeOf(int writeCode) {
    switch (writeCode) {
        case kCmdSetNetwork:
            return kCmdGetNetwork;
        case kCmdSetVideoCapture:
            return kCmdGetVideoCapture;
        case kCmdSetAudioCapture:
            return kCmdGetAudioCapture;
        case kCmdSetStreamAccess:
            return kCmdGetStreamAccess;
        default:
            return 0;
    }
}

// Whether `code` is a configuration write whose final status the list's state column shows
// (the write ranges of each document group).
constexpr bool IsConfigurationWriteCode(int code) {
    constexpr int kRanges[][2] = {{220, 249}, {320, 349}, {420, 449}, {520, 549},
                                  {670, 679}, {681, 682}, {820, 849}};
    for (const auto& range : kRanges)
        if (code >= range[0] && code <= range[1])
            return true;
    return false;
}

// ---- System-control codes --------------------------------------------------------------
// Sent with SystemControl and a REQUEST_PARAM text (the queries with "RESPONSE_PARAM").
// Every system-control code lies in kSystemControlFirst..kSystemControlLast.
enum SystemControlCode : int {
    kSystemControlFirst = 1000,
    kCtlFactoryRestore = 1002,  // empty request text
    kCtlSyncTime = 1005,
    kCtlFileSystemVersion = 1012,
    kCtlSerialNumber = 1019,
    kCtlDeviceAnswerText = 1020,
    kCtlSearchCameraFiles = 1021,  // camera-side application files, a page at a time
    kCtlCameraFileAnswer = 1022,   // answers the talk window takes with 1021
    kCtlDeleteCameraFile = 1024,
    kCtlIoOutput = 1042,
    kCtlSnapshot = 1043,
    kCtlDayNightMode = 1046,
    kCtlImageAdjust = 1081,
    kCtlFactoryMode = 1094,
    kSystemControlLast = 1099,
};

constexpr bool IsSystemControlCode(int code) {
    return code >= kSystemControlFirst && code <= kSystemControlLast;
}

// ---- Status events ---------------------------------------------------------------------
// Type argument of the SDK's status hook. The SDK raises the session events (2 to 8, 34 to
// 38); the camera sends the others.
enum StatusEvent : int {
    kEventDisconnected = 2,   // an established session was lost
    kEventConnectFailed = 3,  // the camera could not be reached
    kEventLoggedIn = 4,       // login accepted; the handle is usable
    kEventAuthFailed = 5,     // user name or password refused
    kEventTalkStarted = 6,
    kEventTalkData = 7,
    kEventTalkStopped = 8,
    kEventUpgradeDone = 14,  // firmware accepted; the camera restarts
    kEventUpgradeFailed = 15,
    kEventFileDone = 16,  // file transfer finished; data: RESPONSE_PARAM text
    kEventFileFailed = 17,
    kEventAlarm = 23,        // data: the 168-byte alarm record
    kEventCustomModel = 24,  // data: 536-byte record
    kEventRecord25 = 25,     // data: 276-byte record
    kEventMediaInfo = 30,    // data: 1,360-byte record
    kEventBusy = 32,         // the camera is busy with another client's request
    kEventLoginFailed = 34,  // login failed for another reason
    kEventTalkBusy = 35,
    kEventTalkParamError = 36,
    kEventTalkNotSupported = 37,
    kEventOverLimit = 38,   // a session closed: the camera sent more than the SDK takes
    kEventKeyChanged = 39,  // the camera's key is not the one pinned for its serial number
    kEventUpgradeProgress = 54,
    kEventUpgradeProgress2 = 55,
};

// ---- Alarm kinds -----------------------------------------------------------------------
// alarmType of the alarm record of kEventAlarm.
enum AlarmKind : int {
    kAlarmQuiet1 = 1,     // leaves the device's state text as it is
    kAlarmQuiet2 = 2,     // likewise
    kAlarmSnapshot = 23,  // answers a snapshot request and names the picture
};

// Whether an alarm of `kind` is shown in the device's state text.
constexpr bool AlarmIsShown(int kind) {
    return kind != kAlarmQuiet1 && kind != kAlarmQuiet2;
}

// ---- Discovery message codes -----------------------------------------------------------
enum DiscoveryCode : int {
    kMsgSearch = 1,
    kMsgSetNetwork = 2,  // also the FH_CONFIG block
    kMsgAnswer = 3,
    kMsgRestore = 5,
    kMsgReboot = 7,
    kMsgMode = 9,
};

// ---- Main window controls and commands -------------------------------------------------
// One id names one command, whether a button or a menu item reaches it (17, 32974 and 32924
// are both). 16 is the one id with two meanings: the system menu's about item and the
// factory-mode button; the control registry keeps menu items apart from window controls.
enum ControlId : int {
    // Buttons of the batch operations and the search.
    kIdStartSearch = 3,
    kIdBatchDefault = 4,  // batch factory restore
    kIdExportExcel = 5,
    kIdBatchDownloadCfg = 6,
    kIdBatchRebootDev = 7,
    kIdBatchSyncTime = 8,  // item of the time menu
    kIdBatchSetTitle = 10,
    kIdBatchSetIpvs = 11,        // platform settings
    kIdBatchRestoreHidden = 12,  // restore through the SDK, no button shown
    kIdBatchSetMd = 13,          // motion detection
    kIdBatchSetPwd = 14,
    kIdBatchSetLanguage = 15,
    kIdBatchModeFactory = 16,  // factory-mode button
    kIdAbout = 16,             // system menu item
    kIdBatchSetVideoEncode = 17,
    kIdBatchSetImageParam = 18,
    kIdBatchSnapJpeg = 19,
    kIdBatchSetTvSystem = 20,
    kIdBatchScanBadCcd = 23,  // items of the pixel maintenance menu
    kIdBatchSaveBadCcd = 24,

    // The list, its bar and the option boxes.
    kIdList = 1000,
    kIdStatusLine = 1001,
    kIdCheckAll = 1003,
    kIdAudio = 1005,
    kIdFullScreenStream = 1006,
    kIdQrOption = 1007,
    kIdCheckPrintMode = 1008,  // also the switch of the QR print settings item
    kIdNetcard = 1016,
    kIdNetcardLabel = 1018,

    kIdBatchCcd = 1028,
    kIdBatchIoOutput = 1029,
    kIdBatchIp = 1030,
    kIdBatchMaintenance = 1031,
    kIdBatchSetVideo = 1034,
    kIdBatchTime = 1035,

    // Edits: paths and the default login account.
    kIdEditFile = 1048,  // firmware file
    kIdEditFileCfg = 1049,
    kIdEditFileDir = 1050,  // upgrade directory
    kIdEditDevCustType = 1051,
    kIdDefaultUser = 1052,
    kIdEditFileDefaultCfg = 1053,
    kIdDefaultPassword = 1054,

    kIdQrEncode = 1078,  // switch: the QR code panel
    kIdLogoPng = 1080,

    // File, upgrade and feature buttons.
    kIdBtnBrowser = 1189,
    kIdBtnBrowserCfg = 1190,
    kIdBtnBrowser2 = 1191,
    kIdBtnBrowserDefaultCfg = 1192,
    kIdBtnClearAllCust = 1193,
    kIdBtnUpgrade = 1291,
    kIdBtnUploadCfg = 1292,
    kIdBtnUpgradeDir = 1293,
    kIdBtnBatchClearCustDevType = 1294,
    kIdBtnBatchModifyCustDevType = 1295,
    kIdBtnAudioTalk = 1296,  // broadcast
    kIdBtnPrint = 1297,
    kIdBtnUploadVelmarId = 1298,
    kIdBatchOnvifAllNet = 1299,
    kIdBtnStartTalk = 1300,
    kIdBtnVideoWindows = 1301,
    kIdBtnCustomModelFirmware = 1302,
    kIdBtnPreviewIrcutNight = 1303,

    // System menu.
    kIdLanguageZhCn = 1950,
    kIdLanguageZhTw = 1951,
    kIdLanguageEnglish = 1952,
    kIdLanguageKoKo = 1953,
    kIdLanguageRussian = 1954,
    kIdLanguageMongolian = 1955,
    kIdAutoUpgrade = 33008,  // boot-loader upgrade window
    kIdQrPrintSetting = 33023,
    kIdTipsSettings = 0x8100,

    // Context menu and the menus of the batch buttons.
    kIdEditIp = 32772,
    kIdRestoreDefault = 32774,
    kIdFreeIp = 32775,
    kIdOpenWeb = 32777,
    kIdRebootDevice = 32778,
    kIdStopPlay = 32781,
    kIdPlay = 32782,
    kIdSnapshot = 32790,
    kIdBatchLanguageEn = 32794,
    kIdBatchLanguageCn = 32795,
    kIdBatchLanguageTw = 32797,
    kIdOpenSnapFolder = 32799,
    kIdIoOutputOff = 32802,
    kIdIoOutputOn = 32803,
    kIdIp1 = 32901,
    kIdNumberIp = 32902,  // "IP2": numbering from a start address
    kIdVideoTypeH264 = 32907,
    kIdVideoTypeH265 = 32908,
    kIdVideoTypeH265Plus = 32909,
    kIdBatchConfigTime = 32911,
    kIdRemoteConfigZhCn = 32917,
    kIdRemoteConfigZhTw = 32918,
    kIdRemoteConfigEnUs = 32920,
    kIdRemoteConfigKoKo = 32921,
    kIdRemoteConfigPlPl = 32922,
    kIdBatchSetAudioEncode = 32924,
    kIdPaneClose = 32929,  // pane layouts: close, 1, 1X2, 2X2, 3X3, 4X4, 4X5, 5X5
    kIdPane1 = 32930,
    kIdPane1x2 = 32931,
    kIdPane2x2 = 32932,
    kIdPane3x3 = 32933,
    kIdPane4x4 = 32934,
    kIdPane4x5 = 32935,
    kIdPane5x5 = 32936,
    kIdPlayAll = 32937,
    kIdDhcp = 32945,
    kIdDefaultUserDialog = 32963,
    kIdCopySerial = 32965,
    kIdPlayAudioOnly = 32967,
    kIdTvSystemPal = 32970,
    kIdTvSystemNtsc = 32971,
    kIdStyle = 32972,  // switch: the reduced window style
    kIdBatchSetAudioCapture = 32974,
    kIdOnvifAllNetEnable = 32977,
    kIdOnvifAllNetDisable = 32978,
    kIdImportXml = 32986,
    kIdExportXml = 32987,
    kIdBatchSetVideoEncodeType = 32988,
    kIdBatchSetVideoCapture = 32999,
    kIdP2pEnable = 33001,
    kIdP2pDisable = 33002,
    kIdHikEnable = 33004,
    kIdHikDisable = 33005,
    kIdOnvifEnable = 33006,
    kIdOnvifDisable = 33007,
    kIdFactoryModeEnable = 33009,  // sends mode 0
    kIdFactoryModeClose = 33010,   // sends mode 1
    kIdCopyUuid = 33014,
    kIdShowP2pService = 33015,  // switch: the P2P item of the context menu
    kIdDhEnable = 33019,
    kIdDhDisable = 33020,
    kIdTstEnable = 33021,
    kIdTstDisable = 33022,
    // This tool's own items (not in the original resources).
    kIdTrustCameraKey = 33200,  // context menu: accept a replaced camera's new key

    // Names the window code used before the table followed the resource names.
    kIdPrintMode = kIdCheckPrintMode,
    kIdUpgradeFile = kIdEditFile,
    kIdConfigFile = kIdEditFileCfg,
    kIdUpgradeDirectory = kIdEditFileDir,
};

}  // namespace camfleet
