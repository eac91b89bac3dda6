#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace camfleet {

TEST(ProgramDirectory, IsTheFolderOfTheRunningTestAndCanBeOverridden) {
    const std::string detected = ProgramDirectory();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(detected) / "test_platform"));
    SetProgramDirectory("/tmp/elsewhere");
    EXPECT_EQ(ProgramDirectory(), "/tmp/elsewhere");
    SetProgramDirectory("");
    EXPECT_EQ(ProgramDirectory(), detected);
}

}  // namespace camfleet
