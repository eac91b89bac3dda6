// camfleet-cli selfcheck run as a program against a scratch documents folder.
#include <QProcess>

#include "settings_fixture.h"

namespace camfleet {
namespace {

TEST_F(SettingsTest, SelfCheckReportsTheSettingsFileAndItsAccount) {
    auto run = [] {
        QProcess cli;
        cli.start(CAMFLEET_BIN_DIR "/camfleet-cli", {"selfcheck"});
        EXPECT_TRUE(cli.waitForFinished(30000));
        EXPECT_EQ(cli.exitCode(), 0);
        return QString::fromUtf8(cli.readAllStandardOutput());
    };
    const QString debugConfig = Folder() + "/uc_dbg.cfg";
    qputenv("CAMFLEET_DEBUG_CFG", debugConfig.toUtf8());
    const QString first = run();
    qunsetenv("CAMFLEET_DEBUG_CFG");
    EXPECT_TRUE(first.contains("settings file: " + FilePath() + " (not found"))
        << first.toStdString();
    EXPECT_TRUE(first.contains("default user: admin\n")) << first.toStdString();
    EXPECT_TRUE(first.contains("upgrade directory: " + Folder() + "\n")) << first.toStdString();
    EXPECT_TRUE(first.contains("debug configuration file: " + debugConfig + "\n"))
        << first.toStdString();
    EXPECT_FALSE(QFile::exists(FilePath()));

    CSaveParam p;
    p.defaultUser = "fitter";
    ASSERT_TRUE(p.Save());
    const QString second = run();
    EXPECT_TRUE(second.contains(FilePath() + " (read)")) << second.toStdString();
    EXPECT_TRUE(second.contains("default user: fitter\n")) << second.toStdString();
}

}  // namespace
}  // namespace camfleet
