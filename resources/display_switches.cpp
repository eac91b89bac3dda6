#include "resources/display_switches.h"

#include <tinyxml2.h>

#include <cstdlib>
#include <cstring>

#include "platform/paths.h"

namespace camfleet {

const std::array<DisplaySwitch, kDisplaySwitchCount> DisplaySwitches = {{
    {"IDC_BTN_BROWSER_DEFAULTCFG", kIdBtnBrowserDefaultCfg, 0},
    {"IDC_EDIT_FILE_DEFAULTCFG", kIdEditFileDefaultCfg, 0},
    {"IDC_BTN_CLEAR_ALL_CUST", kIdBtnClearAllCust, 0},
    {"IDC_BTN_UPLOAD_CFG", kIdBtnUploadCfg, 1},
    {"IDC_EDIT_FILE_CFG", kIdEditFileCfg, 1},
    {"IDC_BTN_BROWSER_CFG", kIdBtnBrowserCfg, 1},
    {"IDC_BTN_UPGRADE", kIdBtnUpgrade, 1},
    {"IDC_EDIT_FILE", kIdEditFile, 1},
    {"IDC_BTN_BROWSER", kIdBtnBrowser, 1},
    {"IDC_BTN_UPGRADE_DIR", kIdBtnUpgradeDir, 1},
    {"IDC_EDIT_FILE_DIR", kIdEditFileDir, 1},
    {"IDC_BTN_BROWSER2", kIdBtnBrowser2, 1},
    {"ID_BATCH_MODE_FACTORY", kIdBatchModeFactory, 0},
    {"ID_BATCH_DEFAULT", kIdBatchDefault, 1},
    {"ID_BATCH_REBOOT_DEV", kIdBatchRebootDev, 1},
    {"ID_BATCH_IP", kIdBatchIp, 1},
    {"ID_BATCH_SET_VIDEO", kIdBatchSetVideo, 1},
    {"ID_BATCH_MAINTANCE", kIdBatchMaintenance, 1},
    {"ID_BATCH_SET_IPVS", kIdBatchSetIpvs, 1},
    {"ID_BATCH_CCD", kIdBatchCcd, 1},
    {"IDC_BTN_VIDEO_WINDOWS", kIdBtnVideoWindows, 1},
    {"IDC_BTN_PRINT", kIdBtnPrint, 1},
    {"IDC_BTN_BATCH_CLEAR_CUSTDEVTYPE", kIdBtnBatchClearCustDevType, 0},
    {"ID_BATCH_DOWNLOAD_CFG", kIdBatchDownloadCfg, 1},
    {"ID_BATCH_SET_TITLE", kIdBatchSetTitle, 1},
    {"ID_BATCH_SET_MD", kIdBatchSetMd, 1},
    {"IDC_BTN_START_TALK", kIdBtnStartTalk, 1},
    {"IDC_EDIT_DEV_CUST_TYPE", kIdEditDevCustType, 0},
    {"ID_BATCH_SET_IMAGE_PARAM", kIdBatchSetImageParam, 0},
    {"ID_BATCH_SET_TVSYSTEM", kIdBatchSetTvSystem, 1},
    {"ID_BATCH_SNAP_JPEG", kIdBatchSnapJpeg, 1},
    {"ID_BATCH_IO_OUTPUT", kIdBatchIoOutput, 1},
    {"IDC_BTN_AUDIO_TALK", kIdBtnAudioTalk, 1},
    {"IDC_BTN_BATCH_MODIFY_CUSTDEVTYPE", kIdBtnBatchModifyCustDevType, 0},
    {"IDC_BTN_PREVIEW_IRCUT_NIGHT", kIdBtnPreviewIrcutNight, 0},
    {"ID_BATCH_TIME", kIdBatchTime, 1},
    {"ID_BATCH_SET_PWD", kIdBatchSetPwd, 1},
    {"ID_BATCH_SET_LANGUAGE", kIdBatchSetLanguage, 1},
    {"IDC_BTN_UPLOAD_VELMARID", kIdBtnUploadVelmarId, 1},
    {"IDC_BATCH_ONVIF_ALLNET", kIdBatchOnvifAllNet, 1},
    {"ID_BATCH_SET_VIDEO_ENCODE_TYPE", kIdBatchSetVideoEncodeType, 0},
    {"ID_BATCH_SET_VIDEOENCODE", kIdBatchSetVideoEncode, 0},
    {"ID_BATCH_SET_AUDIOCAPTURE", kIdBatchSetAudioCapture, 0},
    {"ID_BATCH_SET_AUDIOENCODE", kIdBatchSetAudioEncode, 0},
    {"IDC_LOGO_PNG", kIdLogoPng, 0},
    {"IDC_QRENCODE", kIdQrEncode, 0},
    {"IDC_CHECK_PRINTMODE", kIdCheckPrintMode, 0},
    {"STYLE", kIdStyle, 0},
    {"ID_SHOW_P2PSERVICE", kIdShowP2pService, 0},
}};

bool DisplayValueIsOn(const char* value) {
    if (!value)
        return false;
    // strtoll saturates instead of overflowing, and stops at the first non-digit.
    return std::strtoll(value, nullptr, 10) > 0;
}

CLoadDisplayCfg::CLoadDisplayCfg() : switches_(DisplaySwitches) {}

bool CLoadDisplayCfg::Load(const std::string& path) {
    tinyxml2::XMLDocument doc;
    if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS)
        return false;
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (!root)
        return false;
    for (const tinyxml2::XMLElement* item = root->FirstChildElement(); item;
         item = item->NextSiblingElement()) {
        for (DisplaySwitch& entry : switches_) {
            if (std::strcmp(entry.name, item->Name()) == 0) {
                entry.display = DisplayValueIsOn(item->Attribute("display")) ? 1 : 0;
                break;
            }
        }
    }
    // The reduced style has no QR code panel of its own: its list shows the code instead.
    if (IsDisplayed(kStyleSwitchId) != 0)
        SetDisplayed(kQrEncodeSwitchId, 0);
    return true;
}

bool CLoadDisplayCfg::Load() {
    return Load(ProgramDirectory() + "/display.xml");
}

void CLoadDisplayCfg::SetDisplayed(int32_t id, int32_t display) {
    for (DisplaySwitch& entry : switches_)
        if (entry.id == id)
            entry.display = display;
}

int32_t CLoadDisplayCfg::IsDisplayed(int32_t id) const {
    for (const DisplaySwitch& entry : switches_) {
        if (entry.id == id)
            return entry.display;
    }
    return 1;
}

std::vector<std::pair<int32_t, int32_t>> CLoadDisplayCfg::SwitchStates() const {
    std::vector<std::pair<int32_t, int32_t>> states;
    states.reserve(switches_.size());
    for (const DisplaySwitch& entry : switches_)
        states.emplace_back(entry.id, entry.display);
    return states;
}

}  // namespace camfleet
