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
    const struct {
        const char* name;
        CustomModelAction action;
        QString model;
        QByteArray line;
        CustomModelFault fault;
    } cases[] = {
        {"set", CustomModelAction::kSet, "IPC-X9", "SET_OEM_DEVTYPE_FLAG=IPC-X9",
         CustomModelFault::kNone},
        {"set trims the text", CustomModelAction::kSet, "  IPC X9 \t",
         "SET_OEM_DEVTYPE_FLAG=IPC X9", CustomModelFault::kNone},
        {"set writes UTF-8", CustomModelAction::kSet, QString::fromUtf8("摄像机"),
         QByteArray("SET_OEM_DEVTYPE_FLAG=") + QString::fromUtf8("摄像机").toUtf8(),
         CustomModelFault::kNone},
        {"set needs a text", CustomModelAction::kSet, "", {}, CustomModelFault::kEmptyModel},
        {"blanks are no text", CustomModelAction::kSet, " \t ", {}, CustomModelFault::kEmptyModel},
        {"a line break would add a line",
         CustomModelAction::kSet,
         "IPC\nDEL_OEM_DEVTYPE_FLAG=",
         {},
         CustomModelFault::kControlCharacter},
        {"other control characters",
         CustomModelAction::kSet,
         QString("IPC") + QChar(0) + "X",
         {},
         CustomModelFault::kControlCharacter},
        {"remove ignores the text", CustomModelAction::kRemove, "IPC\nX",
         "DEL_OEM_DEVTYPE_FLAG=", CustomModelFault::kNone},
    };
    for (const auto& c : cases) {
        CustomModelFault fault = CustomModelFault::kNotWritten;
        EXPECT_EQ(CustomModelLine(c.action, c.model, &fault), c.line) << c.name;
        EXPECT_EQ(fault, c.fault) << c.name;
    }
}

class CustomModelFileTest : public testing::Test {
protected:
    QTemporaryDir shared_;  // stands for the system's temporary folder that others write to
};

TEST_F(CustomModelFileTest, EachBatchWritesItsOwnPrivateCopyRemovedAtItsEnd) {
    CustomModelFault fault = CustomModelFault::kNotWritten;
    auto first = CustomModelFile::Write(CustomModelAction::kSet, "IPC-X9", &fault, shared_.path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(fault, CustomModelFault::kNone);
    auto second =
        CustomModelFile::Write(CustomModelAction::kRemove, QString(), &fault, shared_.path());
    ASSERT_NE(second, nullptr);

    const QFileInfo file(first->Path());
    EXPECT_EQ(file.fileName().toStdString(), "devicetype.oem");
    EXPECT_EQ(QFileInfo(file.absolutePath()).dir().absolutePath().toStdString(),
              QDir(shared_.path()).absolutePath().toStdString());
    EXPECT_NE(file.absolutePath(), QFileInfo(second->Path()).absolutePath());
    struct stat folderStat {};
    ASSERT_EQ(::stat(QFile::encodeName(file.absolutePath()).constData(), &folderStat), 0);
    EXPECT_EQ(folderStat.st_mode & 0777, 0700u);

    QFile in(first->Path());
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), "SET_OEM_DEVTYPE_FLAG=IPC-X9");
    QFile removal(second->Path());
    ASSERT_TRUE(removal.open(QIODevice::ReadOnly));
    EXPECT_EQ(removal.readAll(), "DEL_OEM_DEVTYPE_FLAG=");

    const QString folder = file.absolutePath();
    first.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(QFileInfo::exists(second->Path()));
}

TEST_F(CustomModelFileTest, ALinkPlantedInTheSharedFolderIsNeverWrittenThrough) {
    const QString victim = shared_.filePath("victim");
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("untouched");
    }
    ASSERT_TRUE(QFile::link(victim, shared_.filePath("devicetype.oem")));
    auto file = CustomModelFile::Write(CustomModelAction::kSet, "IPC-X9", nullptr, shared_.path());
    ASSERT_NE(file, nullptr);
    EXPECT_NE(QFileInfo(file->Path()).absoluteFilePath(),
              QFileInfo(shared_.filePath("devicetype.oem")).absoluteFilePath());
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "untouched");
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
