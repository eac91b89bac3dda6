// Settings written by Save and read back: defaults, round trips, file text, failed writes.
#include <QDir>
#include <QFileInfo>

#include <sys/resource.h>
#include <csignal>
#include <optional>

#include "settings_fixture.h"

namespace camfleet {
namespace {

// Every field moved away from its default, each to a value of its own.
CSaveParam Changed(const QString& folder) {
    CSaveParam p;
    p.upgradeDirectory = folder + "/firmware";
    p.upgradeFile = folder + "/firmware/fw_1.bin";
    p.uploadConfigFile = folder + "/cfg/upload.xml";
    p.mp3FilePath = folder + "/audio/bell.mp3";
    p.appFilePath = folder + "/app/update.bin";
    p.fullScreenStreamSwitch = 0;
    p.openAudio = 1;
    p.videoRows = 4;
    p.videoColumns = 5;
    p.playMode = 2;
    p.videoWindow = {-10, 20, 1910, 1100};
    p.defaultUser = "operator";
    p.defaultPassword = "s3cret";
    p.firstAssignAddress = "192.168.1.50";
    p.qrShown = 0;
    p.overlay = {0, 50, 11, 12, "YYYY-MM-DD", 1, 13, 14, 2, "Gate 3", 4, 0, 32, 1};
    return p;
}

TEST_F(SettingsTest, FirstStartWithoutFileGivesEveryDefaultAndWritesNothing) {
    CSaveParam p;
    ExpectDefaults(p);
    EXPECT_FALSE(p.Load());
    EXPECT_FALSE(QFileInfo::exists(FilePath()));
}

TEST_F(SettingsTest, EveryFieldSurvivesSaveAndLoadInANewObject) {
    const CSaveParam written = Changed(Folder());
    ASSERT_TRUE(written.Save());
    CSaveParam read;
    EXPECT_TRUE(read == written) << ReadFile(FilePath()).toStdString();

    // Each change is saved at once; the latest save wins.
    read.defaultUser = "second";
    ASSERT_TRUE(read.Save());
    EXPECT_EQ(CSaveParam().defaultUser, "second");

    // A missing folder is created (a fresh machine may lack its documents folder).
    read.settingsFilePath = Folder() + "/new/deeper/qv_cfg.xml";
    ASSERT_TRUE(read.Save());
    EXPECT_TRUE(read.Load());
    EXPECT_EQ(read.defaultUser, "second");
}

TEST_F(SettingsTest, TextsSurviveAsUtf8WithXmlSpecialCharacters) {
    const struct {
        const char* name;
        QString text;
        QByteArray inFile;  // expected spelling in the file
    } cases[] = {
        {"xml specials", "a&b<c>d\"e'f&amp;", "a&amp;b&lt;c&gt;d&quot;e"},
        {"chinese as utf-8", QString::fromUtf8("摄像机 通道一"), "\xe6\x91\x84\xe5\x83\x8f"},
        {"empty", "", "username=\"\""},
        {"spaces kept", "  two  spaces ", "\"  two  spaces \""},
        {"long", QString(600, QChar(u'\u00e9')), QString(600, QChar(u'\u00e9')).toUtf8()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSaveParam written;
        written.defaultUser = written.defaultPassword = c.text;
        written.overlay.titleText = written.overlay.timeFormat = c.text;
        written.upgradeDirectory = Folder() + "/" + c.text;
        ASSERT_TRUE(written.Save());
        EXPECT_TRUE(ReadFile(FilePath()).contains(c.inFile));
        EXPECT_TRUE(CSaveParam() == written) << ReadFile(FilePath()).toStdString();
    }
}

TEST_F(SettingsTest, WrittenFileHasTheElementsAndAttributesInOrder) {
    qputenv("CAMFLEET_DOCUMENTS_DIR", "/camfleet-docs");
    CSaveParam p;
    p.settingsFilePath = FilePath();
    p.videoWindow = {5, 6, 105, 206};
    ASSERT_TRUE(p.Save());
    EXPECT_EQ(ReadFile(FilePath()).toStdString(),
              R"(<?xml version="1.0" encoding="UTF-8"?>
<root>
    <UpgradePath name="/camfleet-docs"/>
    <UpgradeFileName name="/camfleet-docs"/>
    <UploadCfgFileName name="/camfleet-docs"/>
    <Mp3FilePath name="/camfleet-docs"/>
    <AppFilePath name="/camfleet-docs"/>
    <FullSwitchStream value="1"/>
    <OpenAudio value="0"/>
    <VideoWindow row="0" col="0" left="5" top="6" width="100" height="200"/>
    <PlayMode mode="0"/>
    <QR show="1"/>
    <DefaultUser username="admin" password="730418"/>
    <DefaultFromIP ip="0.0.0.0"/>
    <Overlay Enable="1" Transparency="0" time24or12="0" Week="1" Fontsize="0" Style="3">
        <TimeOverlay PosX="1" PosY="1" Format="" PosType="0"/>
        <TitleOverlay PosX="0" PosY="0" PosType="0" TitleUtf8="Camera"/>
    </Overlay>
</root>
)");
}

// Lowers the file size limit of the process, as a full disk would stop a write; works as root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(SettingsTest, FailedWriteKeepsTheOldFileAndReportsFalse) {
    const struct {
        const char* name;
        QString path;      // settings file, relative to the folder
        QString survivor;  // file that must stay as it was
        bool diskFull;
    } cases[] = {
        {"disk full", "qv_cfg.xml", "qv_cfg.xml", true},
        {"temporary name too long", QString(250, 'n'), QString(250, 'n'), false},
        {"folder is a regular file", "blocker/qv_cfg.xml", "blocker", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir folder(Folder());
        const QByteArray old = "<root><QR show=\"0\"/></root>";
        WriteFile(folder.filePath(c.survivor), old);
        const QStringList before = folder.entryList(QDir::Files | QDir::Hidden);

        CSaveParam p = Changed(Folder());
        p.settingsFilePath = folder.filePath(c.path);
        {
            std::optional<FileSizeLimit> limit;
            if (c.diskFull)
                limit.emplace(16);
            EXPECT_FALSE(p.Save());
        }
        EXPECT_EQ(ReadFile(folder.filePath(c.survivor)), old);
        EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), before);
        folder.remove(c.survivor);
    }
}

}  // namespace
}  // namespace camfleet
