// The directory upgrade's choice of a firmware file per camera.

#include "operations/firmware_choice.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <string>

namespace camfleet {
namespace {

class FirmwareChoiceTest : public testing::Test {
protected:
    void SetUp() override {
        // The folder's own "_AF" must not stand in for the file name's.
        ASSERT_TRUE(QDir().mkpath(dir_));
        ASSERT_TRUE(QDir(dir_).mkdir("firmware_IPC-H_dir.bin"));
        const std::map<QString, int64_t> files = {
            {"firmware_IPC-A_v1.bin", 300},
            {"firmware_IPC-A_v2.bin", 100},
            {"firmware_IPC-B_v1.bin", 100},
            {"firmware_IPC-B_v2.bin", 100},
            {"firmware_IPC-B_v10.bin", 100},
            {"FIRMWARE_ipc-c.BIN", 100},
            {"firmware_IPC-D_AF_v1.bin", 100},
            {"firmware_ipc-d_af_v2.bin", 200},
            {"firmware_ipc-e_af.bin", 300},
            {"firmware_IPC-F*?[AB].bin", 100},
            {"fw_IPC-H.bin", 100},
            {"firmware_IPC-H.zip", 100},
            {"firmware_IPC-H.bin.txt", 100},
            {"IPC-H.bin", 100},
        };
        for (const auto& [name, time] : files) {
            QFile file(dir_ + '/' + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
            times_[file.fileName()] = time;
        }
    }
    FirmwareChoice Choose(const char* model, const char* version = "V1.0") {
        return ChooseFirmware(dir_, model, version, [this](const QString& path) {
            const auto it = times_.find(path);
            return it == times_.end() ? std::nullopt : std::optional<int64_t>(it->second);
        });
    }

    QTemporaryDir scratch_;
    const QString dir_ = scratch_.filePath("lab_AF");
    std::map<QString, int64_t> times_;  // creation times the fake source gives
};

TEST_F(FirmwareChoiceTest, PicksTheNewestFileOfTheCamerasModel) {
    const struct {
        const char* model;
        const char* expected;  // file name; nullptr for a miss
        FirmwareMiss miss;
    } cases[] = {
        {"IPC-A", "firmware_IPC-A_v1.bin", FirmwareMiss::kNone},  // newest, not the last name
        {"IPC-B", "firmware_IPC-B_v2.bin", FirmwareMiss::kNone},  // equal times: sorts last
        {"IPC-C", "FIRMWARE_ipc-c.BIN", FirmwareMiss::kNone},     // case does not count
        {"DIR-OVADU-IPC-C", "FIRMWARE_ipc-c.BIN", FirmwareMiss::kNone},
        {"DIR-OVDIR-OVADU-ADU-IPC-C", "FIRMWARE_ipc-c.BIN", FirmwareMiss::kNone},
        {"IPC-D_AF", "firmware_IPC-D_AF_v1.bin", FirmwareMiss::kNone},  // newer "_af" passed over
        {"IPC-E_AF", nullptr, FirmwareMiss::kNoFile},  // only "_af", in an "_AF" folder
        {"IPC-F*?[AB]", "firmware_IPC-F*?[AB].bin", FirmwareMiss::kNone},
        {"IPC-*", nullptr, FirmwareMiss::kNoFile},  // wildcard characters are literal
        {"IPC-?", nullptr, FirmwareMiss::kNoFile},
        {"IPC-[AB]", nullptr, FirmwareMiss::kNoFile},
        {"e_IPC-A", nullptr, FirmwareMiss::kNoFile},  // "firmware_" lends the key nothing
        {"IPC-H", nullptr, FirmwareMiss::kNoFile},    // other names, extensions, a folder
        {"IPC-Z", nullptr, FirmwareMiss::kNoFile},
        {"", nullptr, FirmwareMiss::kNoModel},  // would match every file
        {"DIR-OVADU-", nullptr, FirmwareMiss::kNoModel},
    };
    for (const auto& c : cases) {
        const FirmwareChoice choice = Choose(c.model);
        EXPECT_EQ(choice.miss, c.miss) << c.model;
        EXPECT_EQ(choice.path.toStdString(),
                  c.expected ? (dir_ + '/' + c.expected).toStdString() : std::string())
            << c.model;
    }
}

TEST_F(FirmwareChoiceTest, NoVersionNoFolderOrNoTimeMeansNoFile) {
    EXPECT_EQ(Choose("IPC-A", "").miss, FirmwareMiss::kNoVersion);
    times_.erase(dir_ + "/firmware_IPC-A_v1.bin");  // cannot be examined: passed over
    EXPECT_EQ(Choose("IPC-A").path.toStdString(), (dir_ + "/firmware_IPC-A_v2.bin").toStdString());
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_));  // an empty text is not the current folder
    EXPECT_EQ(ChooseFirmware("", "IPC-A", "V1.0").miss, FirmwareMiss::kNoFile);
    QDir::setCurrent(current);
    EXPECT_EQ(ChooseFirmware(dir_ + "/absent", "IPC-A", "V1.0").miss, FirmwareMiss::kNoFile);
    EXPECT_STREQ(FirmwareMissKey(FirmwareMiss::kNoVersion), "MSGTIP28");
    EXPECT_STREQ(FirmwareMissKey(FirmwareMiss::kNoModel), "MSGTIP27");
    EXPECT_STREQ(FirmwareMissKey(FirmwareMiss::kNoFile), "MSGTIP27");
}

TEST_F(FirmwareChoiceTest, ReadsCreationTimesFromTheFileSystemAndFollowsLinks) {
    const QString link = dir_ + "/firmware_IPC-G.bin";
    ASSERT_TRUE(QFile::link(dir_ + "/IPC-H.bin", link));
    ASSERT_TRUE(QFile::link(dir_ + "/nowhere", dir_ + "/firmware_IPC-G_old.bin"));
    EXPECT_EQ(ChooseFirmware(dir_, "IPC-G", "V1.0").path.toStdString(), link.toStdString());
}

}  // namespace
}  // namespace camfleet
