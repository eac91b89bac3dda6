#include "platform/wake_pipe.h"

#include <fcntl.h>
#include <unistd.h>

namespace camfleet {

WakePipe::WakePipe() {
    if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0)
        fds_[0] = fds_[1] = -1;
}

WakePipe::~WakePipe() {
    for (int fd : fds_)
        if (fd >= 0)
            close(fd);
}

void WakePipe::Wake() {
    if (fds_[1] < 0)
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(fds_[1], &byte, 1);  // a full pipe wakes anyway
}

void WakePipe::Drain() {
    if (fds_[0] < 0)
        return;
    char buffer[256];
    while (read(fds_[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace camfleet
