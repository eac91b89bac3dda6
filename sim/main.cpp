// camfleet-sim: runs a lab of simulated cameras until SIGINT or SIGTERM. Every camera answers
// the discovery protocol and serves the camera-control protocol (docs/camera-protocol.md) on
// its address and PTZPort; --reboot-silence is also its downtime after an SDK reboot, and the
// --upgrade-* options time firmware upgrades and make chosen cameras fail them.
//
//   camfleet-sim --lab N [--seed S] [--port P] [OPTIONS]
//   camfleet-sim --lan-lab N [--subnet A.B.C.0/24]... [--seed S] [OPTIONS]
//   camfleet-sim make-firmware --model M --version V [--size BYTES] -o FILE
//
// Options and --hostile kinds: kOptions below and HostilityNames; make-firmware writes a lab
// firmware image (sim/firmware_image.h) with the options of kFirmwareOptions
// (camfleet-sim --help).

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/number_text.h"
#include "sim/firmware_image.h"
#include "sim/sim_lab.h"

namespace {

// --event: camera `camera` (from 0) sends status event `type` every `period`.
struct PeriodicEvent {
    int camera = 0;
    int type = 0;
    std::chrono::milliseconds period{0};
    std::chrono::steady_clock::time_point due{};
};

struct Arguments {
    camfleet::sim::LabOptions options;
    camfleet::sim::Hostility hostility = camfleet::sim::Hostility::kNone;
    std::vector<std::pair<int, std::string>> passwords;  // camera index from 0, password
    std::vector<int> ignoreNetwork;                      // camera indexes from 0
    std::vector<int> replacedKeys;                       // camera indexes from 0
    std::vector<int> noDefaultConfirm;                   // camera indexes from 0
    std::vector<PeriodicEvent> events;
    std::chrono::milliseconds upgradeWrite{-1};  // -1: the server's default
    std::chrono::milliseconds upgradeReboot{-1};
    std::map<int, camfleet::sim::ControlServer::FirmwareFault> firmwareFaults;  // by index
    bool lan = false;
    bool valid = false;
};

// A camera number of an option (counted from 1) added to `cameras` (counted from 0); false
// for anything below 1.
bool AddCamera(const char* value, std::vector<int>* cameras) {
    const int camera = camfleet::TextToInt(value);
    if (camera < 1)
        return false;
    cameras->push_back(camera - 1);
    return true;
}

// "I=TYPE@MS" of --event, added to `events`; false unless I >= 1, TYPE in 1 .. 2^24 - 1 and
// MS >= 1.
bool ParseEvent(const char* value, std::vector<PeriodicEvent>* events) {
    const char* equals = std::strchr(value, '=');
    const char* at = equals != nullptr ? std::strchr(equals, '@') : nullptr;
    if (at == nullptr)
        return false;
    PeriodicEvent event;
    event.camera = camfleet::TextToInt(std::string(value, equals).c_str()) - 1;
    event.type = camfleet::TextToInt(std::string(equals + 1, at).c_str());
    event.period = std::chrono::milliseconds(camfleet::TextToInt(at + 1));
    if (event.camera < 0 || event.type < 1 || event.type > 0xFFFFFF || event.period.count() < 1)
        return false;
    events->push_back(event);
    return true;
}

// "I=N" of --upgrade-fail and --upgrade-drop: camera I (from 1) as an index from 0 into
// `camera`, N a percentage into `percent`; false unless I >= 1 and N is 0 to 100.
bool ParsePercentOf(const char* value, int* camera, int* percent) {
    const char* equals = std::strchr(value, '=');
    if (equals == nullptr)
        return false;
    *camera = camfleet::TextToInt(std::string(value, equals).c_str()) - 1;
    const std::string digits = equals + 1;
    if (*camera < 0 || digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *percent = std::stoi(digits);
    return *percent <= 100;
}

// A duration option in milliseconds: digits only, at most a day.
bool ParseMilliseconds(const char* value, std::chrono::milliseconds* out) {
    const std::string digits = value;
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = std::chrono::milliseconds(std::stol(digits));
    return *out <= std::chrono::hours(24);
}

// Waits for SIGINT or SIGTERM, meanwhile sending the --event events when they are due.
void RunUntilStopped(camfleet::sim::SimLab* lab, const sigset_t& stopSignals,
                     std::vector<PeriodicEvent> events) {
    using Clock = std::chrono::steady_clock;
    for (PeriodicEvent& event : events)
        event.due = Clock::now() + event.period;
    for (;;) {
        auto next = Clock::now() + std::chrono::hours(1);
        for (const PeriodicEvent& event : events)
            next = std::min(next, event.due);
        const auto wait = std::max<Clock::duration>(next - Clock::now(), Clock::duration::zero());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
        const timespec timeout{
            static_cast<time_t>(seconds.count()),
            static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(wait - seconds).count())};
        if (sigtimedwait(&stopSignals, nullptr, &timeout) >= 0)
            return;
        const auto now = Clock::now();
        for (PeriodicEvent& event : events) {
            if (event.due > now)
                continue;
            lab->control().EmitEvent(
                event.camera, event.type,
                camfleet::sim::SampleEventPayload(event.type, std::time(nullptr)));
            event.due = now + event.period;
        }
    }
}

// One line per option: the help text and the parser come from the tables of these.
template <typename Parsed>
struct OptionOf {
    const char* flag;
    const char* value;
    const char* help;
    bool (*parse)(Parsed* a, const char* value);
};
using Option = OptionOf<Arguments>;

const Option kOptions[] = {
    {"--lab", "N", "run N cameras on loopback addresses",
     [](Arguments* a, const char* v) {
         a->lan = false;
         a->options.cameras = camfleet::TextToInt(v);
         return a->valid = a->options.cameras > 0;
     }},
    {"--lan-lab", "N", "run N cameras in a network namespace of their own",
     [](Arguments* a, const char* v) {
         a->lan = true;
         a->options.cameras = camfleet::TextToInt(v);
         return a->valid = a->options.cameras > 0;
     }},
    {"--subnet", "A.B.C.0/24", "a subnet of the LAN lab (may be repeated; 192.168.1.0/24)",
     [](Arguments* a, const char* v) {
         a->options.lanSubnets.emplace_back(v);
         return true;
     }},
    {"--seed", "S", "seed of the cameras' generated identities (default 1)",
     [](Arguments* a, const char* v) {
         a->options.seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
         return true;
     }},
    {"--port", "P", "discovery port the cameras answer on (default 3001)",
     [](Arguments* a, const char* v) {
         a->options.port = static_cast<uint16_t>(camfleet::TextToInt(v));
         return true;
     }},
    {"--hostile", "KIND", "every camera answers discovery broken that way (kinds below)",
     [](Arguments* a, const char* v) { return camfleet::sim::ParseHostility(v, &a->hostility); }},
    {"--reboot-silence", "MS", "downtime after a reboot, also of an SDK reboot (default 3000)",
     [](Arguments* a, const char* v) {
         a->options.rebootSilence = std::chrono::milliseconds(camfleet::TextToInt(v));
         return true;
     }},
    {"--answer-delay", "MS", "answers wait 0 to MS ms (default 20)",
     [](Arguments* a, const char* v) {
         a->options.maxAnswerDelayMs = camfleet::TextToInt(v);
         return true;
     }},
    {"--password", "I=PW",
     "camera I (from 1) takes password PW while its discovery answer keeps the factory "
     "account (may be repeated)",
     [](Arguments* a, const char* v) {
         const char* equals = std::strchr(v, '=');
         const int camera = camfleet::TextToInt(v);
         if (equals == nullptr || camera < 1)
             return false;
         a->passwords.emplace_back(camera - 1, equals + 1);
         return true;
     }},
    {"--ignore-network", "I",
     "camera I (from 1) receives set-network datagrams but does not apply them (may be "
     "repeated)",
     [](Arguments* a, const char* v) { return AddCamera(v, &a->ignoreNetwork); }},
    {"--replaced-key", "I",
     "camera I (from 1) shows another long-term key than its own, as a replaced camera keeping "
     "the serial number (may be repeated)",
     [](Arguments* a, const char* v) { return AddCamera(v, &a->replacedKeys); }},
    {"--no-default-confirm", "I",
     "camera I (from 1) applies default configurations without confirming them with status "
     "event 14 (may be repeated)",
     [](Arguments* a, const char* v) { return AddCamera(v, &a->noDefaultConfirm); }},
    {"--event", "I=TYPE@MS",
     "camera I (from 1) sends status event TYPE to its logged-in sessions every MS ms; an "
     "alarm or other fixed record gets a sample record (may be repeated)",
     [](Arguments* a, const char* v) { return ParseEvent(v, &a->events); }},
    {"--upgrade-write-ms", "MS",
     "a firmware write lasts MS ms before the camera restarts (default 1000)",
     [](Arguments* a, const char* v) { return ParseMilliseconds(v, &a->upgradeWrite); }},
    {"--upgrade-reboot-ms", "MS", "a camera is down MS ms after a firmware write (default 2000)",
     [](Arguments* a, const char* v) { return ParseMilliseconds(v, &a->upgradeReboot); }},
    {"--upgrade-fail", "I=N",
     "camera I (from 1) fails its firmware writes at N % (0 to 100; may be repeated)",
     [](Arguments* a, const char* v) {
         int camera = 0;
         int percent = 0;
         if (!ParsePercentOf(v, &camera, &percent))
             return false;
         a->firmwareFaults[camera].failAtPercent = percent;
         return true;
     }},
    {"--upgrade-drop", "I=N",
     "camera I (from 1) closes its sessions once a firmware transfer reached N % (may be "
     "repeated)",
     [](Arguments* a, const char* v) {
         int camera = 0;
         int percent = 0;
         if (!ParsePercentOf(v, &camera, &percent))
             return false;
         a->firmwareFaults[camera].dropAtPercent = percent;
         return true;
     }},
    {"--upgrade-hang", "I",
     "camera I (from 1) stops its firmware writes at 50 % for as long as a session stays "
     "(may be repeated)",
     [](Arguments* a, const char* v) {
         const int camera = camfleet::TextToInt(v);
         if (camera < 1)
             return false;
         a->firmwareFaults[camera - 1].neverFinish = true;
         return true;
     }},
};

// Options of make-firmware.
struct FirmwareArguments {
    camfleet::sim::FirmwareImageHeader header;
    std::string output;
};

constexpr uint64_t kDefaultFirmwareSize = uint64_t{1} << 20;

const OptionOf<FirmwareArguments> kFirmwareOptions[] = {
    {"--model", "M", "camera models the image is for: '*' stands for any run of characters",
     [](FirmwareArguments* a, const char* v) {
         a->header.modelPattern = v;
         return true;
     }},
    {"--version", "V", "version the image carries",
     [](FirmwareArguments* a, const char* v) {
         a->header.version = v;
         return true;
     }},
    {"--size", "BYTES", "payload length, 0 to 1073741824 (default 1048576)",
     [](FirmwareArguments* a, const char* v) {
         // Digits only: TextToInt64 would take "12abc" or " -1".
         const std::string text = v;
         if (text.empty() || text.size() > 10 ||
             text.find_first_not_of("0123456789") != std::string::npos)
             return false;
         a->header.payloadSize = std::stoull(text);
         return a->header.payloadSize <= camfleet::sim::kMaxFirmwarePayload;
     }},
    {"-o", "FILE", "the image file to write",
     [](FirmwareArguments* a, const char* v) {
         a->output = v;
         return !a->output.empty();
     }},
};

constexpr const char kFirmwareUsage[] =
    "camfleet-sim make-firmware --model M --version V [--size BYTES] -o FILE";

template <typename Parsed, std::size_t N>
void PrintOptions(std::FILE* out, const OptionOf<Parsed> (&options)[N]) {
    for (const OptionOf<Parsed>& option : options) {
        const std::string left = std::string(option.flag) + " " + option.value;
        std::fprintf(out, "  %-22s %s\n", left.c_str(), option.help);
    }
}

int Usage(bool asked) {
    std::FILE* out = asked ? stdout : stderr;
    std::fprintf(out,
                 "usage: camfleet-sim --lab N [--seed S] [--port P] [OPTIONS]\n"
                 "       camfleet-sim --lan-lab N [--subnet A.B.C.0/24]... [--seed S] "
                 "[OPTIONS]\n"
                 "       %s\n"
                 "       camfleet-sim --help\n\noptions:\n",
                 kFirmwareUsage);
    PrintOptions(out, kOptions);
    std::fprintf(out, "\n--hostile kinds:\n");
    for (const auto& kind : camfleet::sim::HostilityNames())
        std::fprintf(out, "  %-22s %s\n", kind.name, kind.help);
    std::fprintf(out, "\nmake-firmware writes a lab firmware image and exits:\n");
    PrintOptions(out, kFirmwareOptions);
    return asked ? 0 : 2;
}

// Parses "FLAG VALUE" pairs from argv[first] on with `options`. Returns nullptr when all
// were taken, else the flag that was unknown, lacked its value or had a value refused.
template <typename Parsed, std::size_t N>
const char* ParseOptions(int argc, char** argv, int first, const OptionOf<Parsed> (&options)[N],
                         Parsed* a) {
    for (int i = first; i < argc; i += 2) {
        const auto found = std::find_if(std::begin(options), std::end(options), [&](const auto& o) {
            return std::strcmp(argv[i], o.flag) == 0;
        });
        if (found == std::end(options) || i + 1 >= argc || !found->parse(a, argv[i + 1]))
            return argv[i];
    }
    return nullptr;
}

// camfleet-sim make-firmware ...: 0 when the image was written, 1 when it could not be, 2
// for bad arguments.
int MakeFirmware(int argc, char** argv) {
    if (argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0))
        return Usage(true);
    FirmwareArguments args;
    args.header.payloadSize = kDefaultFirmwareSize;
    std::string problem;
    if (const char* flag = ParseOptions(argc, argv, 2, kFirmwareOptions, &args))
        problem = std::string("bad or incomplete option ") + flag;
    else if (args.header.modelPattern.empty() || args.header.version.empty() || args.output.empty())
        problem = "--model, --version and -o are required";
    else if (!camfleet::sim::IsValidFirmwareHeader(args.header))
        problem = "the model and the version must be 1 to 127 printable ASCII characters";
    if (!problem.empty()) {
        std::fprintf(stderr, "camfleet-sim make-firmware: %s\nusage: %s\n", problem.c_str(),
                     kFirmwareUsage);
        return 2;
    }
    std::string error;
    if (!camfleet::sim::WriteLabFirmwareFile(args.output, args.header, &error)) {
        std::fprintf(stderr, "camfleet-sim make-firmware: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

bool Parse(int argc, char** argv, Arguments* a) {
    if (ParseOptions(argc, argv, 1, kOptions, a) != nullptr)
        return false;
    if (a->lan && a->options.lanSubnets.empty())
        a->options.lanSubnets.push_back("192.168.1.0/24");
    if (!a->lan)
        a->options.lanSubnets.clear();
    return a->valid;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return Usage(true);
    if (argc >= 2 && std::strcmp(argv[1], "make-firmware") == 0)
        return MakeFirmware(argc, argv);
    Arguments args;
    if (!Parse(argc, argv, &args))
        return Usage(false);
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
    for (int camera : args.noDefaultConfirm) {
        if (camera >= lab.CameraCount()) {
            std::fprintf(stderr, "camfleet-sim: no camera %d for --no-default-confirm\n",
                         camera + 1);
            lab.Stop();
            return 2;
        }
        lab.control().SetConfirmDefaultConfig(camera, false);
    }
    for (const auto& [camera, fault] : args.firmwareFaults) {
        if (camera >= lab.CameraCount()) {
            std::fprintf(stderr,
                         "camfleet-sim: no camera %d for --upgrade-fail, --upgrade-drop "
                         "or --upgrade-hang\n",
                         camera + 1);
            lab.Stop();
            return 2;
        }
        lab.control().SetFirmwareFault(camera, fault);
    }
    if (args.upgradeWrite.count() >= 0 || args.upgradeReboot.count() >= 0) {
        using camfleet::sim::ControlServer;
        const auto write =
            args.upgradeWrite.count() >= 0 ? args.upgradeWrite : ControlServer::kFirmwareWriteTime;
        const auto reboot = args.upgradeReboot.count() >= 0 ? args.upgradeReboot
                                                            : ControlServer::kFirmwareRebootTime;
        for (int i = 0; i < lab.CameraCount(); ++i)
            lab.control().SetFirmwareTiming(i, write, reboot);
    }
    for (const PeriodicEvent& event : args.events) {
        if (event.camera >= lab.CameraCount()) {
            std::fprintf(stderr, "camfleet-sim: no camera %d for --event\n", event.camera + 1);
            lab.Stop();
            return 2;
        }
    }
    std::printf("camfleet-sim: %d cameras from %s, port %u\n", lab.CameraCount(),
                lab.Snapshot(0).profile.ipAddress.c_str(), unsigned(args.options.port));
    std::fflush(stdout);
    RunUntilStopped(&lab, stopSignals, args.events);
    lab.Stop();
    return 0;
}
