// Settings written by Save and read back: defaults, round trips, file text, failed writes.
#include <QDir>
#include <QFileInfo>

#include <sys/resource.h>
#include <csignal>
#include <optional>

#include "settings_fixture.h"

namespace camfleet {
namespace {

// Every field moved away from its default; the values within one element differ from each other.
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
    p.overlay = {0, 50, 11, 12, "YYYY-MM-DD", 1, 13, 14, 2, "Gate 3", 4, 3, 32, 1};
    return p;
}

TEST_F(SettingsTest, FirstStartWithoutFileGivesEveryDefaultAndWritesNothing) {
    CSaveParam p;
    ExpectDefaults(p);
    EXPECT_FALSE(p.Load());
    ExpectDefaults(p);
    EXPECT_FALSE(QFileInfo::exists(FilePath()));
}

TEST_F(SettingsTest, OnlyLoadReadsTheFileAndOnlySaveWritesIt) {
    WriteSettings(R"(<DefaultUser username="fitter" password="pw"/>)");
    const QByteArray before = ReadFile(FilePath());
    CSaveParam p;
    ExpectDefaults(p);
    p.qrShown = 0;
    ASSERT_TRUE(p.Load());
    EXPECT_EQ(p.defaultUser, "fitter");
    EXPECT_EQ(p.qrShown, 1) << "a value the file lacks is the default again";
    EXPECT_EQ(ReadFile(FilePath()), before) << "reading writes nothing";
    EXPECT_EQ(QDir(Folder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"qv_cfg.xml"});
}

TEST_F(SettingsTest, EveryFieldSurvivesSaveAndLoadInANewObject) {
    const CSaveParam written = Changed(Folder());
    ASSERT_TRUE(written.Save());
    CSaveParam read = LoadedSettings();
    EXPECT_TRUE(read == written) << ReadFile(FilePath()).toStdString();

    // Each change is saved at once; the latest save wins.
    read.defaultUser = "second";
    ASSERT_TRUE(read.Save());
    EXPECT_EQ(LoadedSettings().defaultUser, "second");

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
        EXPECT_TRUE(LoadedSettings() == written) << ReadFile(FilePath()).toStdString();
    }
}

TEST_F(SettingsTest, WrittenFileHasTheElementsAndAttributesInOrder) {
    CSaveParam p = Changed("/docs");
    p.settingsFilePath = FilePath();
    ASSERT_TRUE(p.Save());
    EXPECT_EQ(ReadFile(FilePath()).toStdString(),
              R"(<?xml version="1.0" encoding="UTF-8"?>
<root>
    <UpgradePath name="/docs/firmware"/>
    <UpgradeFileName name="/docs/firmware/fw_1.bin"/>
    <UploadCfgFileName name="/docs/cfg/upload.xml"/>
    <Mp3FilePath name="/docs/audio/bell.mp3"/>
    <AppFilePath name="/docs/app/update.bin"/>
    <FullSwitchStream value="0"/>
    <OpenAudio value="1"/>
    <VideoWindow row="4" col="5" left="-10" top="20" width="1920" height="1080"/>
    <PlayMode mode="2"/>
    <QR show="0"/>
    <DefaultUser username="operator" password="s3cret"/>
    <DefaultFromIP ip="192.168.1.50"/>
    <Overlay Enable="0" Transparency="50" time24or12="1" Week="3" Fontsize="32" Style="4">
        <TimeOverlay PosX="11" PosY="12" Format="YYYY-MM-DD" PosType="1"/>
        <TitleOverlay PosX="13" PosY="14" PosType="2" TitleUtf8="Gate 3"/>
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
