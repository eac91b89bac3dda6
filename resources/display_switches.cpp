#include "resources/display_switches.h"

#include <tinyxml2.h>

#include <cstdlib>
#include <cstring>

#include "platform/paths.h"

namespace camfleet {

const std::array<DisplaySwitch, kDisplaySwitchCount> DisplaySwitches = {{
    {"IDC_BTN_BROWSER_DEFAULTCFG", 1192, 0},
    {"IDC_EDIT_FILE_DEFAULTCFG", 1053, 0},
    {"IDC_BTN_CLEAR_ALL_CUST", 1193, 0},
    {"IDC_BTN_UPLOAD_CFG", 1292, 1},
    {"IDC_EDIT_FILE_CFG", 1049, 1},
    {"IDC_BTN_BROWSER_CFG", 1190, 1},
    {"IDC_BTN_UPGRADE", 1291, 1},
    {"IDC_EDIT_FILE", 1048, 1},
    {"IDC_BTN_BROWSER", 1189, 1},
    {"IDC_BTN_UPGRADE_DIR", 1293, 1},
    {"IDC_EDIT_FILE_DIR", 1050, 1},
    {"IDC_BTN_BROWSER2", 1191, 1},
    {"ID_BATCH_MODE_FACTORY", 16, 0},
    {"ID_BATCH_DEFAULT", 4, 1},
    {"ID_BATCH_REBOOT_DEV", 7, 1},
    {"ID_BATCH_IP", 1030, 1},
    {"ID_BATCH_SET_VIDEO", 1034, 1},
    {"ID_BATCH_MAINTANCE", 1031, 1},
    {"ID_BATCH_SET_IPVS", 11, 1},
    {"ID_BATCH_CCD", 1028, 1},
    {"IDC_BTN_VIDEO_WINDOWS", 1301, 1},
    {"IDC_BTN_PRINT", 1297, 1},
    {"IDC_BTN_BATCH_CLEAR_CUSTDEVTYPE", 1294, 0},
    {"ID_BATCH_DOWNLOAD_CFG", 6, 1},
    {"ID_BATCH_SET_TITLE", 10, 1},
    {"ID_BATCH_SET_MD", 13, 1},
    {"IDC_BTN_START_TALK", 1300, 1},
    {"IDC_EDIT_DEV_CUST_TYPE", 1051, 0},
    {"ID_BATCH_SET_IMAGE_PARAM", 18, 0},
    {"ID_BATCH_SET_TVSYSTEM", 20, 1},
    {"ID_BATCH_SNAP_JPEG", 19, 1},
    {"ID_BATCH_IO_OUTPUT", 1029, 1},
    {"IDC_BTN_AUDIO_TALK", 1296, 1},
    {"IDC_BTN_BATCH_MODIFY_CUSTDEVTYPE", 1295, 0},
    {"IDC_BTN_PREVIEW_IRCUT_NIGHT", 1303, 0},
    {"ID_BATCH_TIME", 1035, 1},
    {"ID_BATCH_SET_PWD", 14, 1},
    {"ID_BATCH_SET_LANGUAGE", 15, 1},
    {"IDC_BTN_UPLOAD_VELMARID", 1298, 1},
    {"IDC_BATCH_ONVIF_ALLNET", 1299, 1},
    {"ID_BATCH_SET_VIDEO_ENCODE_TYPE", 32988, 0},
    {"ID_BATCH_SET_VIDEOENCODE", 17, 0},
    {"ID_BATCH_SET_AUDIOCAPTURE", 32974, 0},
    {"ID_BATCH_SET_AUDIOENCODE", 32924, 0},
    {"IDC_LOGO_PNG", 1080, 0},
    {"IDC_QRENCODE", 1078, 0},
    {"IDC_CHECK_PRINTMODE", 1008, 0},
    {"STYLE", 32972, 0},
    {"ID_SHOW_P2PSERVICE", 33015, 0},
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
