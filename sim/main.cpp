// camfleet-sim: runs a lab of simulated cameras until SIGINT or SIGTERM. Every camera answers
// the discovery protocol and serves the camera-control protocol (docs/camera-protocol.md) on
// its address and PTZPort; --reboot-silence is also its downtime after an SDK reboot.
//
//   camfleet-sim --lab N [--seed S] [--port P] [OPTIONS]
//   camfleet-sim --lan-lab N [--subnet A.B.C.0/24]... [--seed S] [OPTIONS]
//
// OPTIONS: --hostile KIND (every camera answers broken that way: overlong, no-lan,
// no-stream, no-user, no-body, both-roots, wrong-code, no-flag, not-camera, odd-osd,
// nonhex-osd, bad-utf8-osd, oversize, silent), --reboot-silence MS (default 3000),
// --answer-delay MS (answers wait 0 to MS ms, default 20), --password I=PW (camera I, counted
// from 1, takes the password PW while its discovery answer keeps the factory account, as a
// camera whose password was changed by someone else; may be given more than once),
// --ignore-network I (camera I, counted from 1, receives set-network datagrams but does not
// apply them, as when they were lost or refused; may be given more than once),
// --replaced-key I (camera I, counted from 1, shows another long-term key than its own, as a
// replaced camera keeping the serial number; may be given more than once).

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/number_text.h"
#include "sim/sim_lab.h"

namespace {

struct Arguments {
    camfleet::sim::LabOptions options;
    camfleet::sim::Hostility hostility = camfleet::sim::Hostility::kNone;
    std::vector<std::pair<int, std::string>> passwords;  // camera index from 0, password
    std::vector<int> ignoreNetwork;                      // camera indexes from 0
    std::vector<int> replacedKeys;                       // camera indexes from 0
    bool lan = false;
    bool valid = false;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: camfleet-sim --lab N [--seed S] [--port P] [OPTIONS]\n"
                 "       camfleet-sim --lan-lab N [--subnet A.B.C.0/24]... [--seed S] "
                 "[OPTIONS]\n"
                 "options: --hostile KIND, --reboot-silence MS, --answer-delay MS, "
                 "--password I=PW, --ignore-network I, --replaced-key I\n");
    return 2;
}

bool ParseOne(Arguments* a, const std::string& flag, const char* value) {
    if (flag == "--lab" || flag == "--lan-lab") {
        a->lan = flag == "--lan-lab";
        a->options.cameras = camfleet::TextToInt(value);
        a->valid = a->options.cameras > 0;
    } else if (flag == "--subnet") {
        a->options.lanSubnets.emplace_back(value);
    } else if (flag == "--seed") {
        a->options.seed = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
    } else if (flag == "--port") {
        a->options.port = static_cast<uint16_t>(camfleet::TextToInt(value));
    } else if (flag == "--reboot-silence") {
        a->options.rebootSilence = std::chrono::milliseconds(camfleet::TextToInt(value));
    } else if (flag == "--answer-delay") {
        a->options.maxAnswerDelayMs = camfleet::TextToInt(value);
    } else if (flag == "--password") {
        const char* equals = std::strchr(value, '=');
        const int camera = camfleet::TextToInt(value);
        if (equals == nullptr || camera < 1)
            return false;
        a->passwords.emplace_back(camera - 1, equals + 1);
    } else if (flag == "--ignore-network") {
        const int camera = camfleet::TextToInt(value);
        if (camera < 1)
            return false;
        a->ignoreNetwork.push_back(camera - 1);
    } else if (flag == "--replaced-key") {
        const int camera = camfleet::TextToInt(value);
        if (camera < 1)
            return false;
        a->replacedKeys.push_back(camera - 1);
    } else if (flag == "--hostile") {
        return camfleet::sim::ParseHostility(value, &a->hostility);
    } else {
        return false;
    }
    return true;
}

bool Parse(int argc, char** argv, Arguments* a) {
    for (int i = 1; i < argc; i += 2)
        if (i + 1 >= argc || !ParseOne(a, argv[i], argv[i + 1]))
            return false;
    if (a->lan && a->options.lanSubnets.empty())
        a->options.lanSubnets.push_back("192.168.1.0/24");
    if (!a->lan)
        a->options.lanSubnets.clear();
    return a->valid;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!Parse(argc, argv, &args))
        return Usage();
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the lab thread inherits the mask

    camfleet::sim::SimLab lab;
    std::string error;
    if (lab.Start(args.options, &error) != 0) {
        std::fprintf(stderr, "camfleet-sim: %s\n", error.c_str());
        return 1;
    }
    for (int i = 0; i < lab.CameraCount(); ++i)
        lab.SetHostility(i, args.hostility);
    for (const auto& [camera, password] : args.passwords) {
        if (camera >= lab.CameraCount()) {
            std::fprintf(stderr, "camfleet-sim: no camera %d for --password\n", camera + 1);
            lab.Stop();
            return 2;
        }
        lab.control().SetPassword(camera, password);
    }
    for (int camera : args.ignoreNetwork) {
        if (camera >= lab.CameraCount()) {
            std::fprintf(stderr, "camfleet-sim: no camera %d for --ignore-network\n", camera + 1);
            lab.Stop();
            return 2;
        }
        lab.SetIgnoreNetworkCommands(camera, true);
    }
    for (int camera : args.replacedKeys) {
        if (camera >= lab.CameraCount()) {
            std::fprintf(stderr, "camfleet-sim: no camera %d for --replaced-key\n", camera + 1);
            lab.Stop();
            return 2;
        }
        lab.control().SetKeyGeneration(camera, 1);
    }
    std::printf("camfleet-sim: %d cameras from %s, port %u\n", lab.CameraCount(),
                lab.Snapshot(0).profile.ipAddress.c_str(), unsigned(args.options.port));
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    lab.Stop();
    return 0;
}
