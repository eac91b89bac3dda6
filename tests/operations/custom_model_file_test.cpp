// The custom-model file and the private folder each batch writes it into.

#include "operations/custom_model_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace camfleet {
namespace {

TEST(CustomModelLine, IsOneLineForSetOrRemove) {
    const QString camera = QString::fromUtf8("摄像机");
    const struct {
        CustomModelAction action;
        QString model;
        QByteArray line;
        CustomModelFault fault;
    } cases[] = {
        {CustomModelAction::kSet, "  IPC X9 \t", "SET_OEM_DEVTYPE_FLAG=IPC X9", {}},
        {CustomModelAction::kSet, camera, "SET_OEM_DEVTYPE_FLAG=" + camera.toUtf8(), {}},
        {CustomModelAction::kSet, " \t ", {}, CustomModelFault::kEmptyModel},
        {CustomModelAction::kSet,
         "IPC\nDEL_OEM_DEVTYPE_FLAG=",
         {},
         CustomModelFault::kControlCharacter},
        {CustomModelAction::kRemove, "IPC\nX", "DEL_OEM_DEVTYPE_FLAG=", {}},
    };
    for (const auto& c : cases) {
        CustomModelFault fault = CustomModelFault::kNotWritten;
        EXPECT_EQ(CustomModelLine(c.action, c.model, &fault), c.line) << c.line.constData();
        EXPECT_EQ(fault, c.fault) << c.line.constData();
    }
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

class CustomModelFileTest : public testing::Test {
protected:
    QTemporaryDir shared_;  // stands for the system's temporary folder that others write to
};

// A link planted under the file's name in the shared folder must not be written through.
TEST_F(CustomModelFileTest, EachBatchWritesItsOwnPrivateCopyRemovedAtItsEnd) {
    const QString victim = shared_.filePath("victim");
    QFile(victim).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(victim, shared_.filePath("devicetype.oem")));

    CustomModelFault fault = CustomModelFault::kNotWritten;
    auto set = CustomModelFile::Write(CustomModelAction::kSet, "IPC-X9", &fault, shared_.path());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(fault, CustomModelFault::kNone);
    auto remove = CustomModelFile::Write(CustomModelAction::kRemove, {}, &fault, shared_.path());
    ASSERT_NE(remove, nullptr);

    const QFileInfo file(set->Path());
    const QString folder = file.absolutePath();
    EXPECT_EQ(file.fileName().toStdString(), "devicetype.oem");
    EXPECT_EQ(QFileInfo(folder).dir().absolutePath().toStdString(),
              QDir(shared_.path()).absolutePath().toStdString());
    EXPECT_NE(folder.toStdString(), QFileInfo(remove->Path()).absolutePath().toStdString());
    struct stat folderStat {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &folderStat), 0);
    EXPECT_EQ(folderStat.st_mode & 0777, 0700u);
    EXPECT_EQ(Read(set->Path()), "SET_OEM_DEVTYPE_FLAG=IPC-X9");
    EXPECT_EQ(Read(remove->Path()), "DEL_OEM_DEVTYPE_FLAG=");
    EXPECT_EQ(Read(victim), "");

    set.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(QFileInfo::exists(remove->Path()));
}

TEST_F(CustomModelFileTest, RefusedTextsAndMissingFoldersWriteNothing) {
    CustomModelFault fault = CustomModelFault::kNone;
    EXPECT_EQ(CustomModelFile::Write(CustomModelAction::kSet, " ", &fault, shared_.path()),
              nullptr);
    EXPECT_EQ(fault, CustomModelFault::kEmptyModel);
    EXPECT_TRUE(QDir(shared_.path()).isEmpty());
    EXPECT_EQ(CustomModelFile::Write(CustomModelAction::kSet, "IPC-X9", &fault,
                                     shared_.filePath("absent/below")),
              nullptr);
    EXPECT_EQ(fault, CustomModelFault::kNotWritten);
}

}  // namespace
}  // namespace camfleet
