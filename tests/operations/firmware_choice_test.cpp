// The directory upgrade's choice of a firmware file per camera.

#include "operations/firmware_choice.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <map>
#include <string>
#include <vector>

namespace camfleet {
namespace {

constexpr int64_t kUnreadable = -1;  // the time source cannot examine the file

struct Entry {
    const char* name;  // ends in '/' for a folder
    int64_t time;      // creation time the fake source gives
};

class FirmwareChoiceTest : public testing::Test {
protected:
    // Makes `entries` in `folder` (below the scratch folder) and returns the folder's path.
    QString Make(const char* folder, const std::vector<Entry>& entries) {
        const QString dir = scratch_.filePath(folder);
        EXPECT_TRUE(QDir().mkpath(dir));
        for (const Entry& e : entries) {
            const QString name = QString::fromUtf8(e.name);
            if (name.endsWith('/')) {
                EXPECT_TRUE(QDir(dir).mkdir(name.chopped(1)));
                continue;
            }
            QFile file(dir + '/' + name);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << e.name;
            times_[file.fileName()] = e.time;
        }
        return dir;
    }
    CreationTimeSource Times() {
        return [this](const QString& path) -> std::optional<int64_t> {
            const auto it = times_.find(path);
            if (it == times_.end() || it->second == kUnreadable)
                return std::nullopt;
            return it->second;
        };
    }

    QTemporaryDir scratch_;
    std::map<QString, int64_t> times_;
};

TEST_F(FirmwareChoiceTest, PicksTheNewestFileOfTheCamerasModel) {
    const struct {
        const char* name;
        const char* folder;
        std::vector<Entry> entries;
        const char* model;
        const char* expected;  // file name, nullptr for a miss
        FirmwareMiss miss;
    } cases[] = {
        {"each model its own file",
         "a",
         {{"firmware_IPC-A_1.bin", 100}, {"firmware_IPC-B_1.bin", 200}},
         "IPC-B",
         "firmware_IPC-B_1.bin",
         FirmwareMiss::kNone},
        {"the newest file wins over the name",
         "b",
         {{"firmware_IPC-A_v1.bin", 300}, {"firmware_IPC-A_v2.bin", 100}},
         "IPC-A",
         "firmware_IPC-A_v1.bin",
         FirmwareMiss::kNone},
        {"equal times: the path that sorts last",
         "c",
         {{"firmware_IPC-A_v2.bin", 100},
          {"firmware_IPC-A_v10.bin", 100},
          {"firmware_IPC-A_v1.bin", 100}},
         "IPC-A",
         "firmware_IPC-A_v2.bin",
         FirmwareMiss::kNone},
        {"the key anywhere between prefix and suffix",
         "d",
         {{"firmware_2024_IPC-A_full.bin", 100}},
         "IPC-A",
         "firmware_2024_IPC-A_full.bin",
         FirmwareMiss::kNone},
        {"case does not count in the pattern",
         "e",
         {{"FIRMWARE_ipc-a.BIN", 100}},
         "IPC-A",
         "FIRMWARE_ipc-a.BIN",
         FirmwareMiss::kNone},
        {"DIR-OVADU- is not part of the key",
         "f",
         {{"firmware_IPC-A.bin", 100}},
         "DIR-OVADU-IPC-A",
         "firmware_IPC-A.bin",
         FirmwareMiss::kNone},
        {"nested DIR-OVADU- goes as well",
         "g",
         {{"firmware_IPC-A.bin", 100}},
         "DIR-OVDIR-OVADU-ADU-IPC-A",
         "firmware_IPC-A.bin",
         FirmwareMiss::kNone},
        {"_AF key passes over a newer file without _AF",
         "h_AF",
         {{"firmware_IPC-A_AF_v1.bin", 100}, {"firmware_ipc-a_af_v2.bin", 200}},
         "IPC-A_AF",
         "firmware_IPC-A_AF_v1.bin",
         FirmwareMiss::kNone},
        {"an _AF folder does not stand in for the name",
         "i_AF",
         {{"firmware_ipc-a_af.bin", 100}},
         "IPC-A_AF",
         nullptr,
         FirmwareMiss::kNoFile},
        {"a key without _AF takes _AF files too",
         "j",
         {{"firmware_IPC-A.bin", 100}, {"firmware_IPC-A_AF.bin", 200}},
         "IPC-A",
         "firmware_IPC-A_AF.bin",
         FirmwareMiss::kNone},
        {"prefix and suffix lend the key no characters",
         "k",
         {{"firmware_IPC.bin", 100}},
         "e_IPC.b",
         nullptr,
         FirmwareMiss::kNoFile},
        {"other names, extensions and folders do not count",
         "l",
         {{"firmware_IPC-A.bin.txt", 100},
          {"fw_IPC-A.bin", 100},
          {"IPC-A.bin", 100},
          {"firmware_IPC-A.zip", 100},
          {"firmware_IPC-A_dir.bin/", 0}},
         "IPC-A",
         nullptr,
         FirmwareMiss::kNoFile},
        {"a file that cannot be examined is passed over",
         "m",
         {{"firmware_IPC-A_v1.bin", 100}, {"firmware_IPC-A_v2.bin", kUnreadable}},
         "IPC-A",
         "firmware_IPC-A_v1.bin",
         FirmwareMiss::kNone},
        {"'*' of the model is no wildcard",
         "n",
         {{"firmware_IPC-A.bin", 100}},
         "IPC*",
         nullptr,
         FirmwareMiss::kNoFile},
        {"'?' of the model is no wildcard",
         "o",
         {{"firmware_IPC-A.bin", 100}},
         "IPC?A",
         nullptr,
         FirmwareMiss::kNoFile},
        {"'[' of the model is no set",
         "p",
         {{"firmware_IPCA.bin", 100}},
         "IPC[AB]",
         nullptr,
         FirmwareMiss::kNoFile},
        {"wildcard characters match themselves",
         "q",
         {{"firmware_IPC-A.bin", 200}, {"firmware_IPC*?[AB]_v1.bin", 100}},
         "IPC*?[AB]",
         "firmware_IPC*?[AB]_v1.bin",
         FirmwareMiss::kNone},
        {"empty model", "r", {{"firmware_IPC-A.bin", 100}}, "", nullptr, FirmwareMiss::kNoModel},
        {"only DIR-OVADU-",
         "s",
         {{"firmware_IPC-A.bin", 100}, {"firmware_DIR-OVADU-.bin", 100}},
         "DIR-OVADU-",
         nullptr,
         FirmwareMiss::kNoModel},
        {"no file at all", "t", {}, "IPC-A", nullptr, FirmwareMiss::kNoFile},
    };
    for (const auto& c : cases) {
        const QString dir = Make(c.folder, c.entries);
        const FirmwareChoice choice = ChooseFirmware(dir, c.model, "V1.0", Times());
        EXPECT_EQ(choice.miss, c.miss) << c.name;
        EXPECT_EQ(choice.path.toStdString(),
                  c.expected ? (dir + '/' + c.expected).toStdString() : std::string())
            << c.name;
    }
}

TEST_F(FirmwareChoiceTest, NoVersionOrNoFolderMeansNoFile) {
    const QString dir = Make("v", {{"firmware_IPC-A.bin", 100}});
    EXPECT_EQ(ChooseFirmware(dir, "IPC-A", "", Times()).miss, FirmwareMiss::kNoVersion);
    EXPECT_EQ(ChooseFirmware(dir + "/absent", "IPC-A", "V1.0", Times()).miss,
              FirmwareMiss::kNoFile);
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir));  // an empty text is not the current folder
    EXPECT_EQ(ChooseFirmware("", "IPC-A", "V1.0", Times()).miss, FirmwareMiss::kNoFile);
    QDir::setCurrent(current);
}

TEST_F(FirmwareChoiceTest, ReadsCreationTimesFromTheFileSystemAndFollowsLinks) {
    const QString dir = Make("w", {{"firmware_IPC-B.bin", 0}, {"image", 0}});
    ASSERT_TRUE(QFile::link(dir + "/image", dir + "/firmware_IPC-A.bin"));
    ASSERT_TRUE(QFile::link(dir + "/nowhere", dir + "/firmware_IPC-A_old.bin"));
    const FirmwareChoice choice = ChooseFirmware(dir, "IPC-A", "V1.0");
    EXPECT_EQ(choice.miss, FirmwareMiss::kNone);
    EXPECT_EQ(choice.path.toStdString(), (dir + "/firmware_IPC-A.bin").toStdString());
}

TEST(FirmwareMissKey, NamesTheStateColumnKey) {
    EXPECT_EQ(FirmwareMissKey(FirmwareMiss::kNone), nullptr);
    EXPECT_STREQ(FirmwareMissKey(FirmwareMiss::kNoVersion), "MSGTIP28");
    EXPECT_STREQ(FirmwareMissKey(FirmwareMiss::kNoModel), "MSGTIP27");
    EXPECT_STREQ(FirmwareMissKey(FirmwareMiss::kNoFile), "MSGTIP27");
}

}  // namespace
}  // namespace camfleet
