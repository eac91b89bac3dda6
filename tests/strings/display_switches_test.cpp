#include "resources/display_switches.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <set>

#include "device/codes.h"
#include "scratch_dir.h"

namespace camfleet {
namespace {

TEST(DisplaySwitches, TableHoldsUniqueNamesAndIds) {
    std::set<std::string> names;
    std::set<int32_t> ids;
    for (const DisplaySwitch& entry : DisplaySwitches) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        EXPECT_TRUE(ids.insert(entry.id).second) << entry.name;
        EXPECT_TRUE(entry.display == 0 || entry.display == 1) << entry.name;
        EXPECT_LT(std::string(entry.name).size(), 128u) << entry.name;
    }
    const CLoadDisplayCfg defaults;
    struct Case {
        int32_t id;
        int32_t display;
    };
    const Case samples[] = {
        {kIdBtnBrowserDefaultCfg, 0},
        {kIdBtnUploadCfg, 1},
        {kIdBatchModeFactory, 0},
        {kIdBatchDefault, 1},
        {kIdStyle, 0},
        {kIdQrEncode, 0},
        {kIdCheckPrintMode, 0},
        {kIdShowP2pService, 0},
        {kIdBtnVideoWindows, 1},
        {kIdBtnPreviewIrcutNight, 0},
        {kIdBatchSetVideoEncodeType, 0},
        {kIdBatchOnvifAllNet, 1},
    };
    for (const Case& c : samples)
        EXPECT_EQ(defaults.IsDisplayed(c.id), c.display) << c.id;
}

// Each case: the file (null: none) and the flags of three entries afterwards:
// IDC_BTN_UPLOAD_CFG (1292, default 1), STYLE (32972, default 0), IDC_QRENCODE (1078, default 0).
TEST(DisplaySwitches, FileSetsFlagsOfNamedEntries) {
    struct Case {
        const char* name;
        const char* content;
        bool loaded;
        int32_t upload, style, qr;
    };
    const Case cases[] = {
        {"no file", nullptr, false, 1, 0, 0},
        {"broken file", "<root><STYLE display=\"1\"/>", false, 1, 0, 0},
        {"empty file", "", false, 1, 0, 0},
        {"0 hides", "<root><IDC_BTN_UPLOAD_CFG display=\"0\"/></root>", true, 0, 0, 0},
        {"2 shows", "<root><STYLE display=\"2\"/></root>", true, 1, 1, 0},
        {"1 shows", "<root><IDC_QRENCODE display=\"1\"/></root>", true, 1, 0, 1},
        {"negative hides", "<root><IDC_BTN_UPLOAD_CFG display=\"-3\"/></root>", true, 0, 0, 0},
        {"text hides", "<root><IDC_BTN_UPLOAD_CFG display=\"yes\"/></root>", true, 0, 0, 0},
        {"missing attribute hides", "<root><IDC_BTN_UPLOAD_CFG/></root>", true, 0, 0, 0},
        {"leading number counts", "<root><STYLE display=\" 7px\"/></root>", true, 1, 1, 0},
        {"huge number shows", "<root><STYLE display=\"99999999999999999999\"/></root>", true, 1, 1,
         0},
        {"name is case sensitive", "<root><style display=\"1\"/></root>", true, 1, 0, 0},
        {"unknown element ignored",
         "<root><NO_SUCH_SWITCH display=\"1\"/><STYLE display=\"1\"/></root>", true, 1, 1, 0},
        {"later element wins",
         "<root><STYLE display=\"1\"/><STYLE display=\"0\"/><IDC_QRENCODE display=\"1\"/></root>",
         true, 1, 0, 1},
        {"root name is free", "<display><STYLE display=\"1\"/></display>", true, 1, 1, 0},
        {"nested elements not read", "<root><group><STYLE display=\"1\"/></group></root>", true, 1,
         0, 0},
        {"style turns the QR panel off",
         "<root><IDC_QRENCODE display=\"1\"/><STYLE display=\"1\"/></root>", true, 1, 1, 0},
        {"QR panel after style still off",
         "<root><STYLE display=\"1\"/><IDC_QRENCODE display=\"1\"/></root>", true, 1, 1, 0},
    };
    for (const Case& c : cases) {
        test::ScratchDir dir;
        if (c.content)
            dir.Write("display.xml", c.content);
        CLoadDisplayCfg cfg;
        EXPECT_EQ(cfg.Load(dir.File("display.xml")), c.loaded) << c.name;
        EXPECT_EQ(cfg.IsDisplayed(kIdBtnUploadCfg), c.upload) << c.name;
        EXPECT_EQ(cfg.IsDisplayed(kIdStyle), c.style) << c.name;
        EXPECT_EQ(cfg.IsDisplayed(kIdQrEncode), c.qr) << c.name;
        EXPECT_EQ(cfg.IsDisplayed(kIdBtnClearAllCust), 0)
            << c.name << ": untouched entry keeps its default";
        EXPECT_EQ(cfg.IsDisplayed(12345), 1) << c.name << ": unknown id";
    }
}

TEST(DisplaySwitches, StatesListEveryEntryInTableOrder) {
    test::ScratchDir dir;
    CLoadDisplayCfg cfg;
    ASSERT_TRUE(
        cfg.Load(dir.Write("display.xml", "<root><ID_SHOW_P2PSERVICE display=\"1\"/></root>")));
    const auto states = cfg.SwitchStates();
    ASSERT_EQ(states.size(), kDisplaySwitchCount);
    for (std::size_t i = 0; i < states.size(); ++i) {
        EXPECT_EQ(states[i].first, DisplaySwitches[i].id);
        const int32_t expected =
            DisplaySwitches[i].id == kIdShowP2pService ? 1 : DisplaySwitches[i].display;
        EXPECT_EQ(states[i].second, expected) << DisplaySwitches[i].name;
    }
    EXPECT_EQ(DisplaySwitches.back().display, 0) << "the shared table keeps its defaults";
}

TEST(DisplaySwitches, ShippedFileNamesEveryEntryWithItsDefault) {
    const std::string path = CAMFLEET_SOURCE_DIR "/resources/data/display.xml";
    tinyxml2::XMLDocument doc;
    ASSERT_EQ(doc.LoadFile(path.c_str()), tinyxml2::XML_SUCCESS) << doc.ErrorStr();
    ASSERT_NE(doc.RootElement(), nullptr);
    std::set<std::string> named;
    for (const auto* item = doc.RootElement()->FirstChildElement(); item;
         item = item->NextSiblingElement()) {
        EXPECT_TRUE(named.insert(item->Name()).second) << item->Name() << " named twice";
    }
    CLoadDisplayCfg shipped;
    ASSERT_TRUE(shipped.Load(path));
    for (std::size_t i = 0; i < kDisplaySwitchCount; ++i) {
        EXPECT_EQ(named.erase(DisplaySwitches[i].name), 1u) << DisplaySwitches[i].name;
        EXPECT_EQ(shipped.Switches()[i].display, DisplaySwitches[i].display)
            << DisplaySwitches[i].name;
    }
    for (const std::string& unknown : named)
        ADD_FAILURE() << "not a display switch: " << unknown;
}

}  // namespace
}  // namespace camfleet
