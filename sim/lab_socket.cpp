#include "sim/lab_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace camfleet::sim {

namespace {

bool SetOption(int fd, int option, int value) {
    return setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

bool Configure(int fd, const std::string& device) {
    if (!SetOption(fd, SO_REUSEADDR, 1) || !SetOption(fd, SO_REUSEPORT, 1))
        return false;
    if (!SetOption(fd, SO_BROADCAST, 1))
        return false;
    SetOption(fd, SO_RCVBUF, 1 << 20);
    if (!device.empty() &&
        setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(), device.size()) != 0)
        return false;
    return true;
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

int OpenLabSocket(const std::string& address, uint16_t port, const std::string& device) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 || !Configure(fd, device) ||
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int RunCommand(const std::vector<std::string>& argv, const std::string& input) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int in[2];  // a socket pair, so that a child that exits early raises no SIGPIPE
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {  // child: only async-signal-safe calls until exec
        dup2(in[0], STDIN_FILENO);
        shutdown(in[0], SHUT_WR);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    WriteAll(in[1], input);
    close(in[1]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

uint32_t HostOrder(const std::string& dotted) {
    in_addr in{};
    if (inet_pton(AF_INET, dotted.c_str(), &in) != 1)
        return 0;
    return ntohl(in.s_addr);
}

std::string Dotted(uint32_t hostOrder) {
    in_addr in{};
    in.s_addr = htonl(hostOrder);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

}  // namespace camfleet::sim
