// File times: the creation time is the birth time where one is reported, else the
// modification time.

#include "platform/file_times.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>

#include <ctime>
#include <fstream>

namespace camfleet {
namespace {

// The test can set the modification time but not the birth time. A birth time, where the
// file system reports one, is the moment the file was made; otherwise the set modification
// time must come through.
TEST(FileTimes, ReadsTheFileSystemAndFallsBackToTheModificationTime) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("firmware_x.bin").toStdString();
    const int64_t before = std::time(nullptr);
    std::ofstream(path) << "x";
    const int64_t after = std::time(nullptr);

    const int64_t set = 1'000'000'000;  // 2001-09-09
    const timespec times[2] = {{set, 0}, {set, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    FileTimes read;
    ASSERT_TRUE(ReadFileTimes(path, &read));
    EXPECT_EQ(read.modified, set);
    if (read.birth) {
        EXPECT_GE(*read.birth, before - 1);  // file times may come from a coarser clock
        EXPECT_LE(*read.birth, after);
    }
    EXPECT_EQ(FileCreationSeconds(path), read.birth.value_or(set));
}

TEST(FileTimes, AMissingFileHasNoTimesAndLeavesTheOldOnes) {
    FileTimes read{int64_t{7}, 8};
    EXPECT_FALSE(ReadFileTimes("/nonexistent/firmware_x.bin", &read));
    EXPECT_EQ(read.birth, 7);
    EXPECT_EQ(read.modified, 8);
    EXPECT_EQ(FileCreationSeconds("/nonexistent/firmware_x.bin"), std::nullopt);
}

}  // namespace
}  // namespace camfleet
