#pragma once
// Ids of the main window's controls and commands. The display switches and the control-text
// table refer to controls by these ids.

namespace camfleet {

enum ControlId : int {
    kIdStartSearch = 3,
    kIdAbout = 16,  // system menu item (16 is also the factory-mode button)
    kIdList = 1000,
    kIdStatusLine = 1001,
    kIdCheckAll = 1003,
    kIdAudio = 1005,
    kIdFullScreenStream = 1006,
    kIdQrOption = 1007,
    kIdPrintMode = 1008,
    kIdNetcard = 1016,
    kIdNetcardLabel = 1018,
    kIdBatchIp = 1030,
    kIdUpgradeFile = 1048,
    kIdConfigFile = 1049,
    kIdUpgradeDirectory = 1050,
    kIdDefaultUser = 1052,
    kIdDefaultPassword = 1054,
    kIdEditIp = 32772,
    kIdFreeIp = 32775,
    kIdOpenWeb = 32777,
    kIdNumberIp = 32902,
    kIdDhcp = 32945,
    kIdDefaultUserDialog = 32963,
    kIdCopySerial = 32965,
    kIdCopyUuid = 33014,
};

}  // namespace camfleet
