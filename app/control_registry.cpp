#include "app/control_registry.h"

#include <utility>

#include "device/codes.h"
#include "resources/display_strings.h"
#include "resources/display_switches.h"
#include "widgets/display_text.h"

namespace camfleet {

namespace {

// Control id and display key, applied in this order.
const std::pair<int, const char*> kControlTexts[] = {
    {kIdNetcardLabel, DisplayKey("NETCARD")},
    {kIdStartSearch, DisplayKey("STARTSEARCH")},
    {kIdCheckPrintMode, DisplayKey("QR_AUTOPRINT_MODE")},
    {kIdExportExcel, DisplayKey("EXPORT_EXCEL")},
    {kIdCheckAll, DisplayKey("CHECKALL")},
    {kIdAudio, DisplayKey("AUDIO")},
    {kIdQrOption, DisplayKey("QR_TEXT")},
    {kIdFullScreenStream, DisplayKey("TEXT33")},
    {kIdStatusLine, DisplayKey("TEXT34")},
    {kIdBatchDefault, DisplayKey("BTNTEXT1")},
    {kIdBatchRestoreHidden, DisplayKey("BTNTEXT1")},
    {kIdBtnPreviewIrcutNight, DisplayKey("IDC_BTN_PREVIEW_IRCUT_NIGHT")},
    {kIdBatchIp, DisplayKey("ID_BATCH_IP")},
    {kIdBatchMaintenance, DisplayKey("ID_BATCH_MAINTANCE")},
    {kIdBatchSetIpvs, DisplayKey("BTNTEXT4")},
    {kIdBtnBatchModifyCustDevType, DisplayKey("BATCH_SET_DEVICETYPE")},
    {kIdBtnBatchClearCustDevType, DisplayKey("BATCH_CLEAR_DEVICETYPE")},
    {kIdBatchDownloadCfg, DisplayKey("BTNTEXT5")},
    {kIdBatchRebootDev, DisplayKey("BTNTEXT6")},
    {kIdBatchTime, DisplayKey("BTNTEXT7")},
    {kIdBatchSetTitle, DisplayKey("BTNTEXT8")},
    {kIdBatchSetPwd, DisplayKey("BTNTEXT9")},
    {kIdBatchSetLanguage, DisplayKey("BTNTEXT10")},
    {kIdBatchSetMd, DisplayKey("BTNTEXT12")},
    {kIdBtnUpgradeDir, DisplayKey("BTNTEXT13")},
    {kIdBtnUpgrade, DisplayKey("BTNTEXT14")},
    {kIdBtnUploadCfg, DisplayKey("BTNTEXT15")},
    {kIdBtnBrowserDefaultCfg, DisplayKey("IDC_BTN_BROWSER_DEFAULTCFG")},
    {kIdBtnClearAllCust, DisplayKey("IDC_BTN_CLEAR_ALL_CUST")},
    {kIdBtnCustomModelFirmware, DisplayKey("CUSTOM_MODEL_FIRMWARE")},
    {kIdBtnBrowser2, DisplayKey("TOUR")},
    {kIdBtnBrowser, DisplayKey("TOUR")},
    {kIdBtnBrowserCfg, DisplayKey("TOUR")},
    {kIdBatchSetVideo, DisplayKey("ID_BATCH_SET_VIDEO")},
    {kIdBatchSetImageParam, DisplayKey("BATCHIMAGEPARAM")},
    {kIdBatchSnapJpeg, DisplayKey("BATCHSNAP")},
    {kIdBatchCcd, DisplayKey("BATCH_SET_CCD")},
    {kIdBatchIoOutput, DisplayKey("ID_BATCH_IO_OUTPUT")},
    {kIdBtnAudioTalk, DisplayKey("STRING_RA_DIALOG")},
    {kIdBtnPrint, DisplayKey("STRING_PRINT_QR")},
    {kIdBatchOnvifAllNet, DisplayKey("IDS_STR_ONVIF_ALLNET")},
    {kIdBatchSetTvSystem, DisplayKey("TVSYSTEM_BUTTON")},
    {kIdBatchSetVideoEncodeType, DisplayKey("ID_BATCH_SET_VIDEOTYPE")},
    {kIdBatchSetVideoEncode, DisplayKey("ID_BATCH_SET_VIDEOENCODE")},
    {kIdBatchSetAudioCapture, DisplayKey("IDS_STR_ZH_CN_MEDIA_AENCODE")},
    {kIdBatchSetAudioEncode, DisplayKey("IDS_STR_ZH_CN_MEDIA_ACAPTURE")},
    {kIdBtnPreviewIrcutNight, DisplayKey("IDC_BTN_PREVIEW_IRCUT_NIGHT")},
    {kIdBatchModeFactory, DisplayKey("FACTORY_MODE")},
    {kIdBtnVideoWindows, DisplayKey("MENU_VIDEO_WND")},
};

// Control id and tooltip key: the upgrade, upload and talk controls.
const std::pair<int, const char*> kToolTips[] = {
    {kIdBtnUpgradeDir, DisplayKey("STRING_TIPS_UPDATE_DIR")},
    {kIdBtnUpgrade, DisplayKey("STRING_TIPS_UPDATE_FILE")},
    {kIdBtnUploadCfg, DisplayKey("STRING_TIPS_UPDATE_CFG")},
    {kIdBtnBrowserDefaultCfg, DisplayKey("TIPS_AUTO_UPLOAD_DEFAULT_CFG")},
    {kIdBtnClearAllCust, DisplayKey("TIPS_CLEAR_ALL_DEFAULT_CFG")},
    {kIdBtnStartTalk, DisplayKey("TIPS_TALK")},
};

}  // namespace

QWidget* ControlRegistry::Find(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second.data();
}

QAction* ControlRegistry::FindMenuItem(int id) const {
    for (const QPointer<QWidget>& menu : menus_) {
        if (QAction* item = FindCommandAction(menu.data(), id))
            return item;
    }
    return nullptr;
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
