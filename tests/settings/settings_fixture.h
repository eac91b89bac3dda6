#pragma once
// Shared set-up of the settings tests: a scratch documents folder per test, named by
// CAMFLEET_DOCUMENTS_DIR, and readable failure messages for QString.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

#include "resources/save_param.h"
#include "scratch_documents.h"

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace camfleet {

class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("CAMFLEET_DOCUMENTS_DIR", dir_.path().toUtf8());
    }
    void TearDown() override { camfleet::scratch::RestoreDocuments(); }

    QString Folder() const { return dir_.path(); }
    QString FilePath() const { return dir_.filePath("qv_cfg.xml"); }

    static void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A settings file whose root holds `body`.
    void WriteSettings(const QByteArray& body) {
        WriteFile(FilePath(), "<?xml version=\"1.0\"?>\n<root>" + body + "</root>\n");
    }

    // Every default of the settings table, with the paths in the scratch folder.
    void ExpectDefaults(const CSaveParam& p) const {
        EXPECT_EQ(p.settingsFilePath, FilePath());
        for (const QString* path : {&p.upgradeDirectory, &p.upgradeFile, &p.uploadConfigFile,
                                    &p.mp3FilePath, &p.appFilePath})
            EXPECT_EQ(*path, Folder());
        EXPECT_EQ(p.fullScreenStreamSwitch, 1);
        EXPECT_EQ(p.openAudio, 0);
        EXPECT_EQ(p.videoRows, 0);
        EXPECT_EQ(p.videoColumns, 0);
        EXPECT_EQ(p.playMode, 0);
        EXPECT_TRUE(p.videoWindow == WindowRect{});
        EXPECT_EQ(p.defaultUser, "admin");
        EXPECT_EQ(p.defaultPassword, "730418");
        EXPECT_EQ(p.firstAssignAddress, "0.0.0.0");
        EXPECT_EQ(p.qrShown, 1);
        const OverlaySettings& o = p.overlay;
        EXPECT_EQ(o.enabled, 1);
        EXPECT_EQ(o.transparency, 0);
        EXPECT_EQ(o.timePosX, 1);
        EXPECT_EQ(o.timePosY, 1);
        EXPECT_EQ(o.timeFormat, "");
        EXPECT_EQ(o.timePosType, 0);
        EXPECT_EQ(o.titlePosX, 0);
        EXPECT_EQ(o.titlePosY, 0);
        EXPECT_EQ(o.titlePosType, 0);
        EXPECT_EQ(o.titleText, "Camera");
        EXPECT_EQ(o.style, 3);
        EXPECT_EQ(o.weekShown, 1);
        EXPECT_EQ(o.fontSize, 0);
        EXPECT_EQ(o.hourMode, 0);
    }

private:
    QTemporaryDir dir_;
};

}  // namespace camfleet
