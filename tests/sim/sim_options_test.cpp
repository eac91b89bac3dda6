// camfleet-sim's firmware-upgrade options run as a program: what it refuses and what its help
// lists.

#include <gtest/gtest.h>

#include <QProcess>

#include "sim/sim_program.h"

namespace camfleet::sim {
namespace {

TEST(SimUpgradeOptions, ValuesOutOfRangeAreRefusedWithTheUsage) {
    const QStringList cases[] = {
        {"--upgrade-fail", "1=101"},  {"--upgrade-fail", "0=50"},  {"--upgrade-fail", "1"},
        {"--upgrade-drop", "1=-1"},   {"--upgrade-drop", "1=5x"},  {"--upgrade-hang", "0"},
        {"--upgrade-write-ms", "-5"}, {"--upgrade-reboot-ms", ""}, {"--upgrade-write-ms", "1s"},
    };
    for (const QStringList& option : cases) {
        const SimRun run = RunSim(QStringList{"--lab", "1"} + option);
        EXPECT_EQ(run.exitCode, 2) << option.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("usage: camfleet-sim")) << option.join(' ').toStdString();
    }
}

TEST(SimUpgradeOptions, ACameraBeyondTheLabIsRefused) {
    const SimRun run = RunSim({"--lab", "1", "--port", "0", "--upgrade-hang", "2"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("no camera 2")) << run.err.toStdString();
}

TEST(SimUpgradeOptions, HelpListsThem) {
    const SimRun run = RunSim({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* text : {"--upgrade-write-ms MS", "--upgrade-reboot-ms MS",
                             "--upgrade-fail I=N", "--upgrade-drop I=N", "--upgrade-hang I"})
        EXPECT_TRUE(run.out.contains(text)) << text;
}

}  // namespace
}  // namespace camfleet::sim
