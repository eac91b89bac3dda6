#include "sim/lan_namespace.h"
#include "platform/number_text.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "sim/lab_socket.h"

namespace camfleet::sim {

namespace {

int Fail(std::string* error, const std::string& text) {
    *error = text;
    return -1;
}

// The namespace holder: leaves the parent's network namespace, reports, then waits until
// the parent closes the pipe (or dies). Only async-signal-safe calls.
[[noreturn]] void HoldNamespace(int ready, int hold) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const char ok = unshare(CLONE_NEWNET) == 0 ? 1 : 0;
    (void)!write(ready, &ok, 1);
    char byte;
    while (read(hold, &byte, 1) > 0) {
    }
    _exit(0);
}

}  // namespace

bool ParseLanSubnet(const std::string& text, LanSubnet* subnet) {
    const auto slash = text.find('/');
    if (slash == std::string::npos)
        return false;
    const uint32_t base = HostOrder(text.substr(0, slash));
    const int prefix = TextToInt(text.c_str() + slash + 1);
    if (base == 0 || prefix < 8 || prefix > 24)
        return false;
    const uint32_t mask = ~0u << (32 - prefix);
    subnet->base = base & mask;
    subnet->prefix = prefix;
    return true;
}

std::string NetmaskText(int prefix) {
    return Dotted(~0u << (32 - prefix));
}

std::vector<std::string> LanNamespace::ForeignInterfaces() {
    std::vector<std::string> names;
    struct if_nameindex* list = if_nameindex();
    for (struct if_nameindex* i = list; i != nullptr && i->if_index != 0; ++i)
        if (std::strcmp(i->if_name, "lo") != 0)
            names.emplace_back(i->if_name);
    if (list != nullptr)
        if_freenameindex(list);
    return names;
}

int LanNamespace::Create(const std::vector<LanSubnet>& subnets, std::string* error) {
    if (geteuid() != 0)
        return Fail(error, "the LAN lab needs root");
    const std::vector<std::string> foreign = ForeignInterfaces();
    if (!foreign.empty())
        return Fail(error, "refusing to run: this network namespace has interface " +
                               foreign.front() + " (run inside unshare -n)");
    if (StartHolder(error) != 0)
        return -1;
    for (std::size_t k = 0; k < subnets.size(); ++k) {
        if (AddPair(static_cast<int>(k), subnets[k], error) != 0) {
            Destroy();
            return -1;
        }
    }
    return 0;
}

int LanNamespace::StartHolder(std::string* error) {
    int ready[2], hold[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return Fail(error, "pipe failed");
    if (pipe2(hold, O_CLOEXEC) != 0)
        return Fail(error, "pipe failed");
    holder_ = fork();
    if (holder_ == 0) {
        close(hold[1]);
        HoldNamespace(ready[1], hold[0]);
    }
    close(ready[1]);
    close(hold[0]);
    holderPipe_ = hold[1];
    char ok = 0;
    const bool started = holder_ > 0 && read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
    if (!started)
        return Fail(error, "could not create a network namespace");
    nsFd_ = open(("/proc/" + std::to_string(holder_) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    return nsFd_ >= 0 ? 0 : Fail(error, "could not open the camera namespace");
}

int LanNamespace::AddPair(int k, const LanSubnet& subnet, std::string* error) {
    const std::string pc = PcEnd(k), cam = CameraEnd(k), pid = std::to_string(holder_);
    const std::string pcAddress = Dotted(subnet.base + 253) + "/" + std::to_string(subnet.prefix);
    const std::string ns = "--net=/proc/" + pid + "/ns/net";
    ++pairs_;
    const bool ok =
        RunCommand({"ip", "link", "add", pc, "type", "veth", "peer", "name", cam}) == 0 &&
        RunCommand({"ip", "link", "set", cam, "netns", pid}) == 0 &&
        RunCommand({"ip", "addr", "add", pcAddress, "dev", pc}) == 0 &&
        RunCommand({"ip", "link", "set", pc, "up"}) == 0 &&
        RunCommand({"nsenter", ns, "ip", "-batch", "-"},
                   "link set lo up\nlink set " + cam + " up\n") == 0;
    return ok ? 0 : Fail(error, "could not set up the veth pair " + pc + "/" + cam);
}

void LanNamespace::Destroy() {
    for (int k = 0; k < pairs_; ++k)
        RunCommand({"ip", "link", "del", PcEnd(k)});
    pairs_ = 0;
    if (nsFd_ >= 0)
        close(nsFd_);
    nsFd_ = -1;
    if (holderPipe_ >= 0)
        close(holderPipe_);
    holderPipe_ = -1;
    if (holder_ > 0)
        waitpid(holder_, nullptr, 0);
    holder_ = -1;
}

}  // namespace camfleet::sim
