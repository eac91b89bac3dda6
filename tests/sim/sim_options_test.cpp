// camfleet-sim's firmware-upgrade and default-configuration options run as a program: what it
// refuses, what its help lists, and a lab camera that leaves default configurations
// unconfirmed.

#include <gtest/gtest.h>

#include <QProcess>

#include <memory>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/config_file.h"
#include "sim/control_server.h"
#include "sim/sim_program.h"
#include "tests/sim/bulk_client.h"

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

TEST(SimDefaultConfirmOption, BadCamerasAreRefusedAndTheHelpListsIt) {
    for (const char* camera : {"0", "-1", "x"}) {
        const SimRun run = RunSim({"--lab", "1", "--no-default-confirm", camera});
        EXPECT_EQ(run.exitCode, 2) << camera;
        EXPECT_TRUE(run.err.contains("usage: camfleet-sim")) << camera;
    }
    const SimRun beyond = RunSim({"--lab", "1", "--port", "0", "--no-default-confirm", "2"});
    EXPECT_EQ(beyond.exitCode, 2);
    EXPECT_TRUE(beyond.err.contains("no camera 2 for --no-default-confirm"))
        << beyond.err.toStdString();
    EXPECT_TRUE(RunSim({"--help"}).out.contains("--no-default-confirm I"));
}

// A lab large enough that its last cameras sit on addresses (127.0.11.x) and SDK ports no
// other test's lab uses while the tests run side by side.
class SimDefaultConfirmLab : public BulkCameraTest {
protected:
    static constexpr int kCameras = 260;
    void TearDown() override {
        if (sim_.state() == QProcess::NotRunning)
            return;
        sim_.terminate();
        EXPECT_TRUE(sim_.waitForFinished(10000));
        EXPECT_EQ(sim_.exitCode(), 0) << "SIGTERM ends it";
    }
    bool StartLab(const QStringList& options) {
        sim_.start(CAMFLEET_BIN_DIR "/camfleet-sim",
                   QStringList{"--lab", QString::number(kCameras), "--port", "0"} + options);
        QByteArray out;
        while (!out.contains("cameras from") && sim_.waitForReadyRead(20000))
            out += sim_.readAllStandardOutput();
        return out.contains("cameras from");
    }
    // Camera `index` (from 0) of the lab: its address and SDK port.
    static std::string Address(int index) {
        const uint32_t host = (127u << 24 | 10u << 8 | 1u) + static_cast<uint32_t>(index);
        return std::to_string(host >> 24) + "." + std::to_string(host >> 16 & 255) + "." +
               std::to_string(host >> 8 & 255) + "." + std::to_string(host & 255);
    }
    static uint16_t Port(int index) { return static_cast<uint16_t>(8091 + index); }
    // Uploads a default configuration to camera `index`: the event types its session gets.
    std::vector<uint32_t> DefaultConfigEvents(int index) {
        Client session(Port(index), 0, Address(index).c_str());
        EXPECT_EQ(session.Login(kTestPassword), sdk::kStatusOk) << Address(index);
        // The smallest configuration file: its seven sections, empty. It changes nothing.
        const std::string file =
            "<NORVEKConfig SET_OEM_DEFAULT_CONFIG=\"1\"><RecordConfig /><ServerConfig />"
            "<SystemConfig /><NetworkConfig /><MediaConfig /><MediaStreamConfig />"
            "<AlarmConfig /></NORVEKConfig>";
        Client bulk(Port(index), 0, Address(index).c_str());
        EXPECT_EQ(Attach(bulk, Token(session, Upload(kDefaultConfigFileName, file))),
                  sdk::kStatusOk);
        Send(bulk, file);
        EXPECT_EQ(EndOf(bulk).status, sdk::kStatusOk);
        std::vector<uint32_t> types;
        for (const sdk::Frame& event : EventsSoFar(session))
            types.push_back(event.code);
        return types;
    }
    QProcess sim_;
};

TEST_F(SimDefaultConfirmLab, OnlyTheNamedCameraLeavesItsDefaultConfigurationUnconfirmed) {
    ASSERT_TRUE(StartLab({"--no-default-confirm", QString::number(kCameras - 1)}));
    const std::vector<uint32_t> confirmed = {kEventFileDone, kEventUpgradeDone};
    const std::vector<uint32_t> silent = {kEventFileDone};
    EXPECT_EQ(DefaultConfigEvents(kCameras - 3), confirmed);
    EXPECT_EQ(DefaultConfigEvents(kCameras - 2), silent);
    EXPECT_EQ(DefaultConfigEvents(kCameras - 1), confirmed);
}

}  // namespace
}  // namespace camfleet::sim
