#include "app/control_registry.h"

#include <utility>

#include "resources/display_strings.h"
#include "resources/display_switches.h"
#include "widgets/display_text.h"

namespace camfleet {

namespace {

// Control id and display key, applied in this order.
const std::pair<int, const char*> kControlTexts[] = {
    {1018, DisplayKey("NETCARD")},
    {3, DisplayKey("STARTSEARCH")},
    {1008, DisplayKey("QR_AUTOPRINT_MODE")},
    {5, DisplayKey("EXPORT_EXCEL")},
    {1003, DisplayKey("CHECKALL")},
    {1005, DisplayKey("AUDIO")},
    {1007, DisplayKey("QR_TEXT")},
    {1006, DisplayKey("TEXT33")},
    {1001, DisplayKey("TEXT34")},
    {4, DisplayKey("BTNTEXT1")},
    {1030, DisplayKey("ID_BATCH_IP")},
    {1031, DisplayKey("ID_BATCH_MAINTANCE")},
    {11, DisplayKey("BTNTEXT4")},
    {1295, DisplayKey("BATCH_SET_DEVICETYPE")},
    {1294, DisplayKey("BATCH_CLEAR_DEVICETYPE")},
    {6, DisplayKey("BTNTEXT5")},
    {7, DisplayKey("BTNTEXT6")},
    {1035, DisplayKey("BTNTEXT7")},
    {10, DisplayKey("BTNTEXT8")},
    {14, DisplayKey("BTNTEXT9")},
    {15, DisplayKey("BTNTEXT10")},
    {13, DisplayKey("BTNTEXT12")},
    {1293, DisplayKey("BTNTEXT13")},
    {1291, DisplayKey("BTNTEXT14")},
    {1292, DisplayKey("BTNTEXT15")},
    {1192, DisplayKey("IDC_BTN_BROWSER_DEFAULTCFG")},
    {1193, DisplayKey("IDC_BTN_CLEAR_ALL_CUST")},
    {1191, DisplayKey("TOUR")},
    {1189, DisplayKey("TOUR")},
    {1190, DisplayKey("TOUR")},
    {1034, DisplayKey("ID_BATCH_SET_VIDEO")},
    {18, DisplayKey("BATCHIMAGEPARAM")},
    {19, DisplayKey("BATCHSNAP")},
    {1028, DisplayKey("BATCH_SET_CCD")},
    {1029, DisplayKey("ID_BATCH_IO_OUTPUT")},
    {1296, DisplayKey("STRING_RA_DIALOG")},
    {1297, DisplayKey("STRING_PRINT_QR")},
    {1299, DisplayKey("IDS_STR_ONVIF_ALLNET")},
    {32988, DisplayKey("ID_BATCH_SET_VIDEOTYPE")},
    {17, DisplayKey("ID_BATCH_SET_VIDEOENCODE")},
    {32974, DisplayKey("IDS_STR_ZH_CN_MEDIA_AENCODE")},
    {32924, DisplayKey("IDS_STR_ZH_CN_MEDIA_ACAPTURE")},
    {1303, DisplayKey("IDC_BTN_PREVIEW_IRCUT_NIGHT")},
    {16, DisplayKey("FACTORY_MODE")},
    {1301, DisplayKey("MENU_VIDEO_WND")},
};

// Control id and tooltip key: the upgrade, upload and talk controls.
const std::pair<int, const char*> kToolTips[] = {
    {1293, DisplayKey("STRING_TIPS_UPDATE_DIR")},
    {1291, DisplayKey("STRING_TIPS_UPDATE_FILE")},
    {1292, DisplayKey("STRING_TIPS_UPDATE_CFG")},
    {1192, DisplayKey("TIPS_AUTO_UPLOAD_DEFAULT_CFG")},
    {1193, DisplayKey("TIPS_CLEAR_ALL_DEFAULT_CFG")},
    {1300, DisplayKey("TIPS_TALK")},
};

}  // namespace

QWidget* ControlRegistry::Find(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second.data();
}

bool ControlRegistry::SetText(int id, const QString& text) const {
    return ShowCaption(Find(id), text);
}

void ControlRegistry::ApplyControlTexts() const {
    for (const auto& [id, key] : kControlTexts)
        SetText(id, GetDisplayString(key));
}

void ControlRegistry::ApplyToolTips() const {
    for (const auto& [id, key] : kToolTips) {
        if (QWidget* control = Find(id))
            control->setToolTip(GetDisplayString(key));
    }
}

void ControlRegistry::ApplyDisplaySwitches(const CLoadDisplayCfg& switches) const {
    for (const auto& [id, flag] : switches.SwitchStates()) {
        if (QWidget* control = Find(id))
            control->setVisible(flag != 0);
    }
}

void ControlRegistry::RetranslateUi(QObject* root) const {
    ApplyControlTexts();
    ApplyToolTips();
    RetranslateTexts(root);
    for (const auto& refresh : refreshers_)
        refresh();
}

}  // namespace camfleet
