// Black-box runs of `camfleet-cli search` against simulated cameras.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string>

namespace camfleet {
namespace {

const std::string kBin = CAMFLEET_BIN_DIR;

// Runs a shell command; returns its standard output and sets `status` to its exit status.
std::string RunShell(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char chunk[4096];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

QJsonArray RunJson(const std::string& arguments, int* status) {
    const std::string out =
        RunShell(kBin + "/camfleet-cli search " + arguments + " --json", status);
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).array();
}

// Starts `camfleet-sim --lab N` on port 3001; returns its process id.
pid_t StartSimulator(const char* cameras) {
    const pid_t sim = fork();
    if (sim == 0) {
        execl((kBin + "/camfleet-sim").c_str(), "camfleet-sim", "--lab", cameras, "--seed", "77",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return sim;
}

// Both cases use port 3001, so they run one after the other in one test.
TEST(CliSearch, ListsTheCamerasOfALab) {
    const struct {
        const char* name;
        const char* simulator;  // cameras of a separate camfleet-sim, or nullptr
        const char* arguments;
        int cameras;
    } cases[] = {
        {"in-process lab", nullptr, "--lab 50 --seconds 1", 50},
        {"separate simulator", "4", "--loopback --adapter 127.0.0.1 --seconds 2", 4},
    };
    for (const auto& c : cases) {
        const pid_t sim = c.simulator != nullptr ? StartSimulator(c.simulator) : -1;
        int status = -1;
        const QJsonArray cameras = RunJson(c.arguments, &status);
        int simStatus = 0;
        if (sim > 0) {
            kill(sim, SIGTERM);
            waitpid(sim, &simStatus, 0);
        }
        EXPECT_EQ(status, 0) << c.name;
        ASSERT_EQ(cameras.size(), c.cameras) << c.name;
        EXPECT_TRUE(WIFEXITED(simStatus) && WEXITSTATUS(simStatus) == 0) << "SIGTERM ends it";
        const QJsonObject first = cameras.first().toObject();
        for (const char* key : {"SN", "P2PID", "MAC", "TYPE", "IPADDR", "NETMASK", "GATEWAY",
                                "DHCP", "DNS1", "DNS2", "COMPORT", "HTTPPORT", "RTSPPORT", "TITLE",
                                "VERSION", "UUID", "RUNTIME", "P2PSTATUS", "ADAPTER"})
            EXPECT_TRUE(first.contains(key)) << key;
        EXPECT_EQ(first["ADAPTER"].toString(), "127.0.0.1") << c.name;
    }
}

TEST(CliSearch, UsageAndAdapterErrors) {
    const struct {
        const char* arguments;
        int status;
    } cases[] = {
        {"--lab 0", 2},
        {"--lab 3 --loopback", 2},
        {"--seconds x", 2},
        {"--bogus", 2},
        {"--loopback --adapter 10.250.250.250", 1},
    };
    for (const auto& c : cases) {
        int status = -1;
        RunShell(kBin + "/camfleet-cli search " + c.arguments + " 2>/dev/null", &status);
        EXPECT_EQ(status, c.status) << c.arguments;
    }
}

}  // namespace
}  // namespace camfleet
